// A paced box takes in what the program writes no faster than the line
// carries it: a pseudo-terminal delivers a whole write at once, a 57600-baud
// line one character every 10 bit times. Only lower bounds on the time an
// answer takes are checked, which hold on any machine however loaded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "boxsim/box_decoder.h"
#include "boxsim/box_sim.h"
#include "raw_line.h"
#include "support/temp_dir.h"

namespace {

using simtest::open_raw;
using simtest::read_bytes;

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr auto kProgrammingCharacter = std::chrono::nanoseconds(1000000000LL * 10 / 57600);
constexpr auto kControlCharacter = std::chrono::nanoseconds(1000000000LL * 12 / 2400);

const Bytes kWrite4 = {0x90, 0x6F, 0, 0, 'W', 0x12, 0x34, 1, 2, 3, 4, 0x0D};

// Reads until `count` bytes came or `timeout_ms` passed.

class PacedBox : public ::testing::Test {
 protected:
  void SetUp() override {
    boxsim::Faults faults;
    faults.pace = true;
    sim_.set_faults(faults);
    sim_.set_control_turnaround_ms(0);
    sim_.set_control_wake_up_pairs(0);  // bare frames
    std::string error;
    ASSERT_TRUE(sim_.start(dir_.file("ports"), &error)) << error;
  }
  void TearDown() override {
    if (fd_ >= 0) close(fd_);
    sim_.stop();
  }
  // Writes `bytes` in one go and returns how long until `answer_size` bytes
  // came back; the answer itself goes to `answer`.
  Clock::duration exchange(const std::string& path, const Bytes& bytes, size_t answer_size, Bytes* answer) {
    fd_ = open_raw(path);
    EXPECT_GE(fd_, 0);
    auto start = Clock::now();
    EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    *answer = read_bytes(fd_, answer_size, 10000);
    return Clock::now() - start;
  }

  testsupport::TempDir dir_{"paced"};
  boxsim::BoxSimulator sim_;
  int fd_ = -1;
};

TEST_F(PacedBox, AnswersAPacketNoSoonerThanItsBytesBothWays) {
  Bytes echo;
  auto took = exchange(sim_.programming_path(), kWrite4, kWrite4.size(), &echo);
  EXPECT_EQ(echo, kWrite4);
  // 12 characters in, then 12 out: the echo cannot begin before the packet's
  // last byte has crossed the line.
  EXPECT_GE(took, 24 * kProgrammingCharacter);
  EXPECT_EQ(sim_.received(), kWrite4);
}

// A 16-byte OSD write to `address`: 26 characters in, 6 out.
Bytes write16(int address, uint8_t fill) {
  Bytes packet = {0x90, 0x6F, 0x6F, 0, 'W', uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
  packet.insert(packet.end(), 16, fill);
  packet.insert(packet.end(), {0x00, 0x0D});
  return packet;
}

TEST_F(PacedBox, TakesABurstInOneCharacterAfterAnother) {
  Bytes burst;
  for (int i = 0; i < 40; ++i) {
    Bytes packet = write16(0x1000 + 16 * i, uint8_t(i + 1));
    burst.insert(burst.end(), packet.begin(), packet.end());
  }
  Bytes answers;
  auto took = exchange(sim_.programming_path(), burst, 40 * 6, &answers);
  ASSERT_EQ(answers.size(), 40u * 6);
  EXPECT_EQ(Bytes(answers.end() - 5, answers.end()), Bytes({0x6F, 'W', 0x00, 0x12, 0x70}));
  // The last write is in only after all 1040 characters, and its answer takes
  // 6 more; a box that took the burst in at once would be done after the 240
  // answer characters.
  EXPECT_GE(took, (1040 + 6) * kProgrammingCharacter);
  EXPECT_EQ(sim_.memories().osd[0x1000 + 16 * 39], 40);
  EXPECT_EQ(sim_.received(), burst);
}

TEST_F(PacedBox, ControlLineTakesInTwelveBitCharactersAt2400Baud) {
  Bytes frame;
  for (int i = 0; i < 21; ++i) frame.insert(frame.end(), {0x12, 0x34});
  frame.insert(frame.end(), {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0});
  Bytes line = boxsim::doubled(frame);
  Bytes reply;
  auto took = exchange(sim_.control_path(), line, 18, &reply);
  ASSERT_EQ(reply.size(), 18u);
  EXPECT_EQ(Bytes(reply.end() - 2, reply.end()), Bytes({0x5A, 0xA5}));
  // 106 characters in and 18 out at 5 ms each: over 0.6 s.
  EXPECT_GE(took, Clock::duration((line.size() + 18) * kControlCharacter));
  EXPECT_EQ(sim_.control_received(), line);
}

TEST(UnpacedBox, TakesInEverythingAtOnce) {
  // Without pacing the received bytes reach the box unchanged and in order.
  testsupport::TempDir dir("unpaced");
  boxsim::BoxSimulator sim;
  ASSERT_TRUE(sim.start(dir.file("ports")));
  int fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  Bytes two = kWrite4;
  two.insert(two.end(), kWrite4.begin(), kWrite4.end());
  ASSERT_EQ(write(fd, two.data(), two.size()), ssize_t(two.size()));
  EXPECT_EQ(read_bytes(fd, two.size(), 3000), two);
  EXPECT_EQ(sim.received(), two);
  close(fd);
}

// A box behind a USB adapter's latency timer: a short answer is held until
// the timer runs out, counted from its first byte; a full 62-byte USB packet
// is handed over at once, and what is left of a longer burst waits again.
TEST(AdapterLatency, HoldsShortAnswersForTheTimerAndSendsFullPacketsAtOnce) {
  constexpr int kTimerMs = 1000;
  testsupport::TempDir dir("adapter");
  boxsim::BoxSimulator sim;
  boxsim::Faults faults;
  faults.adapter_latency_ms = kTimerMs;
  sim.set_faults(faults);
  ASSERT_TRUE(sim.start(dir.file("ports")));
  int fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  auto start = Clock::now();
  ASSERT_EQ(write(fd, kWrite4.data(), kWrite4.size()), ssize_t(kWrite4.size()));
  EXPECT_EQ(read_bytes(fd, kWrite4.size(), 5000), kWrite4);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kTimerMs));

  // Read for half the timer: only the full packet can come in that time.
  Bytes burst(boxsim::kAdapterPacketBytes + 5);
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = uint8_t(i);
  sim.send_raw(burst);
  EXPECT_EQ(read_bytes(fd, burst.size(), kTimerMs / 2), Bytes(burst.begin(), burst.begin() + 62));
  close(fd);
}

}  // namespace
