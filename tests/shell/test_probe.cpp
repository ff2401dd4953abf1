// The start-up probe and the drain of the programming port, against the box
// simulator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "link/ports.h"
#include "shell/startup.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

namespace {

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
  }
  testsupport::SimulatedBox box_{"shell-ports"};
  boxsim::BoxSimulator& sim_ = box_.sim();
  tv::SerialPort port_;  // the programming line
};

TEST_F(ProbeTest, AnsweringBoxIsReportedAndThePortClosedAgain) {
  boxsim::Faults faults;
  faults.unsupported = true;
  sim_.set_faults(faults);
  EXPECT_TRUE(tv::probe_box(port_, "com3"));
  EXPECT_FALSE(port_.is_open());
  std::vector<uint8_t> expected = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};
  EXPECT_EQ(sim_.received(), expected);
}

TEST_F(ProbeTest, PortThatDoesNotOpenIsNoAnswer) {
  EXPECT_FALSE(tv::probe_box(port_, "com7"));
  EXPECT_FALSE(port_.is_open());
  EXPECT_EQ(sim_.stats().probes, 0u);
}

TEST_F(ProbeTest, DrainTakesEverythingInChunksAndStopsWhenQuiet) {
  EXPECT_EQ(tv::drain_programming_port(port_), 0u);  // closed port: nothing to do
  ASSERT_EQ(tv::open_com(port_, "com3"), tv::kOpened);
  sim_.send_raw(std::vector<uint8_t>(1234, 0x41));
  size_t dropped = 0;
  EXPECT_TRUE(testsupport::wait_for(
      [&] {
        dropped += tv::drain_programming_port(port_);
        return dropped >= 1234;
      },
      5000));
  EXPECT_EQ(dropped, 1234u);
  uint8_t byte;
  EXPECT_EQ(port_.read(&byte, 1, 50), 0);
}

}  // namespace
