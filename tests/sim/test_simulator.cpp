// The simulator through real pseudo-terminals, opened by plain termios code as
// any serial program would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "boxsim/box_decoder.h"
#include "boxsim/box_sim.h"
#include "raw_line.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using simtest::open_raw;

using Bytes = std::vector<uint8_t>;

void write_all(int fd, const Bytes& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

// Reads until `count` bytes came or `timeout_ms` passed; returns what came.

// Whether reading the line fails (hang-up, I/O error) within the time-out.
bool line_fails_within(int fd, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 50);
    if (p.revents & (POLLHUP | POLLERR)) return true;
    if (p.revents & POLLIN) {
      uint8_t b;
      if (read(fd, &b, 1) <= 0) return true;
    }
  }
  return false;
}

const Bytes kWrite4 = {0x90, 0x6F, 0, 0, 'W', 0x12, 0x34, 1, 2, 3, 4, 0x0D};
const Bytes kRead = {0x90, 0x6F, 0, 0, 'R', 0x12, 0x34, 0, 0x33, 0, 0, 0x0D};

TEST(BoxSimulator, AnswersOnTheProgrammingPortAndRecordsTraffic) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  std::string error;
  ASSERT_TRUE(sim.start(scratch.file("ports"), &error)) << error;
  int fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  write_all(fd, kWrite4);
  EXPECT_EQ(simtest::read_bytes(fd, 12, 2000), kWrite4);
  write_all(fd, kRead);
  Bytes expected = kRead;
  expected.insert(expected.end(), {1, 2, 3, 4});
  EXPECT_EQ(simtest::read_bytes(fd, 16, 2000), expected);
  EXPECT_EQ(sim.memories().osd[0x1236], 3);
  Bytes all = kWrite4;
  all.insert(all.end(), kRead.begin(), kRead.end());
  EXPECT_EQ(sim.received(), all);
  EXPECT_EQ(sim.stats().packets, 2u);
  sim.clear_received();
  EXPECT_TRUE(sim.received().empty());

  // The program closes and reopens the port at start-up: the line survives.
  close(fd);
  fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  write_all(fd, kWrite4);
  EXPECT_EQ(simtest::read_bytes(fd, 12, 2000), kWrite4);

  sim.send_raw({0x41, 0x42});
  EXPECT_EQ(simtest::read_bytes(fd, 2, 2000), Bytes({0x41, 0x42}));
  close(fd);
  std::string link = sim.programming_path();
  sim.stop();
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "the symlink goes with the simulator";
}

TEST(BoxSimulator, AnswersAControlQuery) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  sim.set_control_turnaround_ms(0);
  sim.set_control_wake_up_pairs(0);  // a bare frame, no wake-up before it
  sim.set_control_reply({0x5A});
  ASSERT_TRUE(sim.start(scratch.file("ports")));
  int fd = open_raw(sim.control_path());
  ASSERT_GE(fd, 0);
  Bytes frame;
  for (int i = 0; i < 21; ++i) frame.insert(frame.end(), {0x12, 0x34});
  frame.insert(frame.end(), {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0});
  Bytes line = boxsim::doubled(frame);
  write_all(fd, line);
  Bytes reply = simtest::read_bytes(fd, 18, 3000);
  ASSERT_EQ(reply.size(), 18u);  // three sync pairs, the marker, one payload byte
  EXPECT_EQ(Bytes(reply.end() - 8, reply.end()), Bytes({0x34, 0xCB, 0x00, 0xFF, 0xFF, 0x00, 0x5A, 0xA5}));
  EXPECT_EQ(sim.control_received(), line);
  EXPECT_EQ(sim.stats().control_frames, 1u);
  close(fd);
}

TEST(BoxSimulator, VanishClosesTheLine) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  boxsim::Faults f;
  f.vanish_after = 1;
  sim.set_faults(f);
  ASSERT_TRUE(sim.start(scratch.file("ports")));
  std::string link = sim.programming_path();
  int fd = open_raw(link);
  ASSERT_GE(fd, 0);
  write_all(fd, kWrite4);
  EXPECT_TRUE(line_fails_within(fd, 3000));
  EXPECT_TRUE(testsupport::wait_for([&] { return sim.vanished(); }, 2000));
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  close(fd);
  // The control port stays.
  int ctl = open_raw(sim.control_path());
  EXPECT_GE(ctl, 0);
  if (ctl >= 0) close(ctl);
}

TEST(BoxSimulator, AnswerDelayHoldsTheEcho) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  boxsim::Faults f;
  f.answer_delay_ms = 300;
  sim.set_faults(f);
  ASSERT_TRUE(sim.start(scratch.file("ports")));
  int fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  write_all(fd, kWrite4);
  EXPECT_TRUE(simtest::read_bytes(fd, 1, 150).empty());
  EXPECT_EQ(simtest::read_bytes(fd, 12, 2000), kWrite4);
  close(fd);
}

TEST(BoxSimulator, PortDirectoryHandling) {
  testsupport::TempDir scratch("boxsim");
  std::string dir = scratch.file("ports");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/nonexistent-line", (dir + "/com3").c_str()), 0);
  FILE* f = std::fopen((dir + "/com5").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  boxsim::BoxSimulator refused;
  std::string error;
  EXPECT_FALSE(refused.start(dir, &error));
  EXPECT_NE(error.find("com5"), std::string::npos) << error;

  boxsim::BoxSimulator sim;
  ASSERT_TRUE(sim.start(dir, &error, "com3", "com6")) << error;
  char target[256] = {};
  ASSERT_GT(readlink((dir + "/com3").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << "the stale link is replaced";
}

TEST(BoxSimulator, WritesMemoryImages) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  boxsim::Memories m;
  m.flash[0xABCDEF] = 0x12;
  m.pic[99999] = 0x34;
  sim.set_memories(m);
  std::string dir = scratch.file("images/nested");
  ASSERT_TRUE(sim.write_images(dir));
  struct Expect {
    const char* name;
    size_t size;
    long at;
    int value;
  };
  for (Expect e :
       {Expect{"flash.bin", boxsim::kFlashSize, 0xABCDEF, 0x12}, Expect{"osd.bin", boxsim::kOsdSize, 0, 0x00},
        Expect{"font.bin", boxsim::kFontSize, 0, 0x00}, Expect{"pic.bin", boxsim::kPicSize, 99999, 0x34}}) {
    std::string path = dir + "/" + e.name;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(size_t(st.st_size), e.size) << path;
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, e.at, SEEK_SET);
    EXPECT_EQ(std::fgetc(f), e.value) << path;
    std::fclose(f);
  }
  EXPECT_FALSE(boxsim::write_memory_images(m, "/proc/no-such-place"));
}

}  // namespace

namespace {

// Pacing can only make the box slower than the line: a lower bound on the time
// an answer takes is safe to check on any machine.
TEST(BoxSimulator, PacingKeepsToTheLineRate) {
  testsupport::TempDir scratch("boxsim");
  boxsim::BoxSimulator sim;
  boxsim::Faults f;
  f.pace = true;
  sim.set_faults(f);
  sim.set_control_turnaround_ms(0);
  sim.set_control_wake_up_pairs(0);
  ASSERT_TRUE(sim.start(scratch.file("ports")));
  int fd = open_raw(sim.programming_path());
  ASSERT_GE(fd, 0);
  auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> burst;
  for (int i = 0; i < 40; ++i) burst.insert(burst.end(), kWrite4.begin(), kWrite4.end());
  write_all(fd, burst);
  EXPECT_EQ(simtest::read_bytes(fd, burst.size(), 5000).size(), burst.size());
  auto took = std::chrono::steady_clock::now() - start;
  // 480 bytes at 57600 baud, 10 bits each: 83 ms.
  EXPECT_GE(took, std::chrono::milliseconds(80));
  close(fd);

  int ctl = open_raw(sim.control_path());
  ASSERT_GE(ctl, 0);
  std::vector<uint8_t> frame;
  for (int i = 0; i < 21; ++i) frame.insert(frame.end(), {0x12, 0x34});
  frame.insert(frame.end(), {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0});
  start = std::chrono::steady_clock::now();
  write_all(ctl, boxsim::doubled(frame));
  EXPECT_EQ(simtest::read_bytes(ctl, 18, 5000).size(), 18u);
  // 18 bytes of 12 bits at 2400 baud: 90 ms (the first goes at once).
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(85));
  close(ctl);
}

}  // namespace
