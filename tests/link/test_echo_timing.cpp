// The time limits of an echo: its first byte within 3 s of the packet, the
// rest within 1 s of that first byte, the clock started again when it came.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "link/packets.h"
#include "link_fixture.h"

namespace {

using linktest::Bytes;
using linktest::LinkTest;

const Bytes kPacket = {0x90, 0x6F, 0, 0, 0x77, 0x12, 0x34, 0x00, 0x56, 0, 0, 0x0D};

class EchoTiming : public LinkTest {
 protected:
  // The box reads the packet, waits, sends the echo's first byte, waits
  // again and sends the rest. The waits are the box's timing, not the
  // test's synchronisation: the outcome is what the program does with them.
  std::future<void> slowBox(int first_after_ms, int rest_after_ms) {
    return std::async(std::launch::async, [this, first_after_ms, rest_after_ms] {
      Bytes got = peer.read_bytes(kPacket.size(), 5000);
      std::this_thread::sleep_for(std::chrono::milliseconds(first_after_ms));
      peer.write_bytes(Bytes(got.begin(), got.begin() + 1));
      std::this_thread::sleep_for(std::chrono::milliseconds(rest_after_ms));
      peer.write_bytes(Bytes(got.begin() + 1, got.end()));
    });
  }
  // The box answers a packet with `pieces` written one after another, each
  // after its own delay: how a slow or busy box spreads one answer out.
  struct Piece {
    int after_ms;
    Bytes bytes;
  };
  using Answer = std::function<std::vector<Piece>(const Bytes& packet)>;
  std::future<void> boxInPieces(Answer answer) {
    return std::async(std::launch::async, [this, answer] {
      Bytes got = peer.read_bytes(kPacket.size(), 5000);
      for (const Piece& piece : answer(got)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(piece.after_ms));
        if (piece.bytes.empty()) peer.close_master();
        else peer.write_bytes(piece.bytes);
      }
    });
  }
  static Bytes part(const Bytes& bytes, size_t from, size_t to) {
    return Bytes(bytes.begin() + long(from), bytes.begin() + long(to));
  }
  int sendAndWait() {
    port.write(kPacket.data(), kPacket.size());
    uint8_t reply[64];
    return link.wait_echo(reply, sizeof reply, kPacket.data(), kPacket[1]);
  }
};

// 3.2 s in all, but never more than the box is allowed for each part.
TEST_F(EchoTiming, LateFirstByteStartsTheOneSecondClockAfresh) {
  auto box = slowBox(2500, 700);
  EXPECT_EQ(sendAndWait(), tv::kEchoOk);
  box.get();
}

// Well inside 3 s in all, but the rest came 1.5 s after the first byte.
TEST_F(EchoTiming, RestOfTheEchoLaterThanOneSecondTimesOut) {
  auto box = slowBox(200, 1500);
  const int64_t start = tv::monotonic_ms();
  EXPECT_EQ(sendAndWait(), tv::kEchoTimeout + tv::kEchoMismatch);  // and the echo is short
  EXPECT_LT(linktest::elapsed_since(start), 1500) << "it gave up one second after the first byte";
  box.get();
}

// A read's echo and its four data bytes spread over several writes, with a
// stray byte before the target: every piece is taken in its place, the data
// are the bytes after the echo, and nothing past them is read.
TEST_F(EchoTiming, ReadAnswerInLatePiecesIsAcceptedWithinTheOneSecondRule) {
  const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF};
  auto box = boxInPieces([&](const Bytes& packet) {
    return std::vector<Piece>{{50, part(packet, 0, 1)},
                              {100, {0x11}},
                              {300, part(packet, 1, 7)},
                              {400, part(packet, 7, 12)},
                              {0, {data[0]}},
                              {150, {data[1], data[2], data[3], 0x55}}};
  });
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_read(0x1234, out), tv::kEchoOk);
  box.get();
  EXPECT_EQ(Bytes(out, out + 4), data);
  uint8_t left[8];
  EXPECT_EQ(port.read(left, sizeof left, 200), 1) << "the byte after the answer stays on the line";
  EXPECT_EQ(left[0], 0x55);
}

// An echo that stops four bytes short is a time-out one second after its
// first byte, never an echo taken as complete; a line that vanishes after
// the first byte fails at once.
TEST_F(EchoTiming, EchoCutShortTimesOutAndAVanishedLineFailsAtOnce) {
  auto cut = boxInPieces([](const Bytes& packet) {
    return std::vector<Piece>{{50, part(packet, 0, 4)}, {20, part(packet, 4, 8)}};
  });
  int64_t start = tv::monotonic_ms();
  EXPECT_EQ(sendAndWait(), tv::kEchoTimeout + tv::kEchoMismatch);
  EXPECT_GE(linktest::elapsed_since(start), 1000);
  EXPECT_LT(linktest::elapsed_since(start), 2000);
  cut.get();

  auto vanish = boxInPieces([](const Bytes& packet) {
    return std::vector<Piece>{{50, part(packet, 0, 1)}, {50, {}}};
  });
  start = tv::monotonic_ms();
  const int result = sendAndWait();
  EXPECT_TRUE(result == tv::kEchoReadFailed || result == tv::kEchoReadFailed + tv::kEchoMismatch) << result;
  EXPECT_LT(linktest::elapsed_since(start), 900);
  vanish.get();
}

}  // namespace
