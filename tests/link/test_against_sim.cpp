// The link against the box simulator: what the primitives do to the box's
// memories, a refused write recovered the way the writers do it, and a full
// control exchange.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "boxsim/box_sim.h"
#include "link/control_frame.h"
#include "link/packets.h"
#include "link_fixture.h"
#include "support/simulated_box.h"

namespace {

using linktest::Bytes;

class AgainstSim : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(0);
    std::string error;
    ASSERT_TRUE(simulated_.start(&error)) << error;
    ASSERT_EQ(simulated_.open_programming_port(port), tv::kOpened);
    ASSERT_EQ(tv::xs_open(control, 5), tv::kOpened);
  }
  void TearDown() override {
    port.close();
    control.close();
    tv::set_pause_scale_percent(100);
  }

  Bytes osd(size_t at, size_t n) {
    auto m = box.memories();
    return Bytes(m.osd.begin() + at, m.osd.begin() + at + n);
  }
  Bytes flash(size_t at, size_t n) {
    auto m = box.memories();
    return Bytes(m.flash.begin() + at, m.flash.begin() + at + n);
  }

  testsupport::SimulatedBox simulated_{"sim"};
  boxsim::BoxSimulator& box = simulated_.sim();
  tv::SerialPort port;  // the programming line
  tv::BoxLink link{port};
  tv::SerialPort control;
  linktest::NoControlSink sink;
  tv::ControlLink control_link{control, sink};
};

TEST_F(AgainstSim, OsdWritesLandInMemoryAndReadBack) {
  EXPECT_EQ(link.osd_wrt4(0x0100, "11223344"), 0);
  EXPECT_EQ(link.osd_wrt(0x0104, 0x55), 0);
  EXPECT_EQ(osd(0x100, 5), Bytes({0x11, 0x22, 0x33, 0x44, 0x55}));
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_read(0x0101, out), 0);
  EXPECT_EQ(Bytes(out, out + 4), Bytes({0x22, 0x33, 0x44, 0x55}));
}

TEST_F(AgainstSim, FlashWriteErasesTheOldContentsOfItsSectorFirst) {
  auto memories = box.memories();
  std::fill(memories.flash.begin() + 0x12000, memories.flash.begin() + 0x13000, 0x00);
  box.set_memories(memories);
  EXPECT_EQ(link.osd_flashW(0x12345, "A1B2C3D4"), 0);
  EXPECT_EQ(flash(0x12344, 6), Bytes({0xFF, 0xA1, 0xB2, 0xC3, 0xD4, 0xFF}));
  EXPECT_EQ(box.stats().sector_erases, 1u);
  uint8_t out[4] = {};
  EXPECT_EQ(link.osd_flashR(0x12345, out), 0);
  EXPECT_EQ(Bytes(out, out + 4), Bytes({0xA1, 0xB2, 0xC3, 0xD4}));
}

TEST_F(AgainstSim, SixteenByteWritesToOsdAndFlash) {
  const char* data = "00112233445566778899AABBCCDDEEFF";
  EXPECT_EQ(link.osd_wrt16(0x2000, data, tv::kTargetOsd), 0);
  EXPECT_EQ(link.osd_wrt16(0x7010, data, tv::kTargetFlash), 0);
  Bytes expected;
  for (int i = 0; i < 16; ++i) expected.push_back(static_cast<uint8_t>(0x11 * i));
  EXPECT_EQ(osd(0x2000, 16), expected);
  EXPECT_EQ(flash(0x7010, 16), expected);
  EXPECT_EQ(box.stats().sector_erases, 1u);
}

TEST_F(AgainstSim, RefusedWriteSucceedsAfterLineRecovery) {
  boxsim::Faults faults;
  faults.refuse_first = 1;
  box.set_faults(faults);
  const char* data = "0102030405060708090A0B0C0D0E0F10";
  EXPECT_NE(link.osd_wrt16(0x3000, data, tv::kTargetOsd), 0);
  link.line_recovery();
  EXPECT_EQ(link.osd_wrt16(0x3000, data, tv::kTargetOsd), 0);
  EXPECT_EQ(osd(0x3000, 2), Bytes({0x01, 0x02}));
}

TEST_F(AgainstSim, VanishedBoxFailsTheReadInsteadOfHanging) {
  boxsim::Faults faults;
  faults.vanish_after = 2;  // the line goes with the second answer
  box.set_faults(faults);
  EXPECT_EQ(link.osd_wrt4(0x0100, "11223344"), 0);
  link.osd_wrt4(0x0104, "11223344");  // its echo may or may not get out first
  int64_t start = tv::monotonic_ms();
  int result = link.osd_wrt4(0x0108, "11223344");
  EXPECT_TRUE(result == tv::kEchoReadFailed || result == tv::kEchoReadFailed + tv::kEchoMismatch) << result;
  EXPECT_LT(linktest::elapsed_since(start), 1000);
}

// The box answers a woken query only after its turnaround, here 2 s into the
// query's listening: the whole 2.5 s window must be heard.
TEST_F(AgainstSim, ControlQueryHearsALateAnswerWithinItsListeningWindow) {
  box.set_control_reply({0x5A, 0x07});
  box.set_control_turnaround_ms(2000);
  tv::set_pause_scale_percent(1);  // a wake-up of one preamble, RTS switched at once
  uint8_t out[250] = {};
  int count = control_link.xs_query(out, sizeof out);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(out[0], 0x5A);
  EXPECT_EQ(out[1], 0x07);
  EXPECT_EQ(box.stats().control_frames, 1u);
  EXPECT_EQ(box.stats().control_frames_asleep, 0u);
  Bytes sent = box.control_received();
  ASSERT_EQ(sent.size(), 906u);  // the wake-up preamble, then the exchange
  EXPECT_EQ(Bytes(sent.end() - 22, sent.end() - 14), Bytes({0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x70, 0x8F}));
}

// The same frame without the wake-up before it: the box sleeps on.
TEST_F(AgainstSim, ControlFrameWithoutTheWakeUpGetsNoAnswer) {
  const uint8_t query[11] = {0x00, 0xFF, 0x00, 0x70, 0, 0, 0, 0, 0, 0, 0};
  uint8_t out[250] = {};
  EXPECT_EQ(control_link.xs_cmd(query, out, sizeof out, 1000, 0), 0);
  EXPECT_EQ(box.stats().control_frames_asleep, 1u);
}

}  // namespace
