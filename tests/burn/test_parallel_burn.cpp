// Several boxes burned at once from one process: each burn has its own link
// (port and flash-sector state) on its own thread, and each box must end up
// holding exactly its own chipset, not a mixture.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/box_link.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

// One simulated box on a line of its own, reached by its device path.
struct Bench {
  explicit Bench(int seed) : dir("parallel") {
    std::string error;
    started = sim.start(dir.path(), &error);
    EXPECT_TRUE(started) << error;
    chipsetgen::Options options = testsupport::small_chipset_options();
    options.seed = seed;
    options.flash_bytes = 2 * 4096;
    generated = chipsetgen::generate(options);
    std::string path = dir.file("chipset.hv");
    EXPECT_TRUE(chipsetgen::write_chipset(path, generated.text, false, &error)) << error;
    chipset = tv::load_chipset(path);
  }
  ~Bench() {
    port.close();
    sim.stop();
  }

  testsupport::TempDir dir;
  boxsim::BoxSimulator sim;
  bool started = false;
  chipsetgen::Generated generated;
  tv::LoadedChipset chipset;
  tv::SerialPort port;
  tv::BoxLink link{port};
  burntest::RecordingSink sink;
};

class ParallelBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(1);
  }
  void TearDown() override { tv::set_pause_scale_percent(100); }
};

TEST_F(ParallelBurn, TwoBoxesBurnedAtOnceEachHoldExactlyTheirOwnImages) {
  Bench first(31), second(32);
  ASSERT_TRUE(first.started && second.started);
  for (Bench* bench : {&first, &second}) {
    int reason = -1;
    ASSERT_EQ(tv::open_programming_line(bench->port, bench->sim.programming_path(), &reason), tv::kOpened);
    EXPECT_EQ(reason, 0);
  }
  tv::BurnSettings settings;
  settings.flash_delay = 0;
  settings.sysfont_delay = 0;
  std::atomic<bool> cancel{false};
  auto burn = [&](Bench* bench) {
    return std::thread(
        [&, bench] { tv::run_burn(bench->link, bench->chipset, settings, bench->sink, cancel); });
  };
  std::thread one = burn(&first), two = burn(&second);
  one.join();
  two.join();

  for (Bench* bench : {&first, &second}) {
    EXPECT_EQ(bench->sink.done_calls(), std::vector<bool>{true});
    EXPECT_TRUE(testsupport::box_holds(bench->sim.memories(), bench->generated.images));
    // Each sector of this burn erased once, on this box only.
    EXPECT_EQ(bench->sim.stats().sector_erases, 2u);
    // The port's counters saw every byte of the exchange.
    EXPECT_TRUE(testsupport::wait_for(
        [&] { return bench->sim.received().size() == bench->port.bytes_written(); }, 5000));
    EXPECT_GT(bench->port.bytes_read(), 1000u);
  }
  EXPECT_NE(first.sim.memories().flash, second.sim.memories().flash);
}

TEST_F(ParallelBurn, OpeningAMissingLineByNameGivesItsReason) {
  testsupport::TempDir dir("parallel-missing");
  tv::SerialPort port;
  int reason = 0;
  EXPECT_EQ(tv::open_programming_line(port, dir.file("ttyNone"), &reason), tv::kDeviceNotOpened);
  EXPECT_EQ(reason, ENOENT);
  EXPECT_FALSE(port.is_open());
}

}  // namespace
