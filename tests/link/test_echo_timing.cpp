// The time limits of an echo: its first byte within 3 s of the packet, the
// rest within 1 s of that first byte, the clock started again when it came.
#include <gtest/gtest.h>

#include <chrono>
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
  int sendAndWait() {
    tv::programming_port().write(kPacket.data(), kPacket.size());
    uint8_t reply[64];
    return tv::wait_echo(reply, sizeof reply, kPacket.data(), kPacket[1]);
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

}  // namespace
