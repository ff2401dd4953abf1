// The trace of a burn going into a pipe that nobody reads, or whose reader
// has gone (tvbox -a | head): the burn must run to its end at its own pace,
// and the process must live. The trace is pointed at such a pipe for the
// length of one burn into the simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

namespace {

constexpr int kBurnDeadlineMs = 120000;

// Standard output replaced by the write end of a pipe while the object lives.
class StdoutIntoPipe {
 public:
  explicit StdoutIntoPipe(bool reader_gone) {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    if (reader_gone) {
      close(fds[0]);
    } else {
      reader_ = fds[0];
      // Full before the burn starts, and never read.
      fcntl(fds[1], F_SETFL, O_NONBLOCK);
      std::vector<char> filler(65536, 'x');
      while (write(fds[1], filler.data(), filler.size()) > 0) {
      }
      fcntl(fds[1], F_SETFL, 0);
    }
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
  }
  // The reader goes, so whatever the trace still holds fails at once and the
  // queue empties before the real standard output comes back.
  ~StdoutIntoPipe() {
    tv::set_trace_enabled(false);
    if (reader_ >= 0) close(reader_);
    EXPECT_TRUE(tv::trace_flush(10000));
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int reader_ = -1;
  int saved_ = -1;
};

TEST(TracePipe, AClosedOrAFullTracePipeNeitherHoldsNorEndsABurn) {
  testsupport::SimulatedBox box("trace-pipe");
  std::string error;
  ASSERT_TRUE(box.start(&error)) << error;
  tv::SerialPort port;
  tv::BoxLink link(port);
  ASSERT_EQ(box.open_programming_port(port), tv::kOpened);
  chipsetgen::Generated generated = chipsetgen::generate(testsupport::small_chipset_options());
  const std::string path = box.dir().file("chipset.hv");
  ASSERT_TRUE(chipsetgen::write_chipset(path, generated.text, false, &error)) << error;
  const tv::LoadedChipset chipset = tv::load_chipset(path);
  tv::set_pause_scale_percent(1);
  tv::BurnSettings settings;
  settings.flash_delay = 0;
  settings.sysfont_delay = 0;

  for (bool reader_gone : {true, false}) {
    const uint64_t dropped_before = tv::trace_dropped_lines();
    burntest::RecordingSink sink;
    std::atomic<bool> cancel{false};
    bool ended = false;
    {
      StdoutIntoPipe pipe(reader_gone);
      tv::set_trace_enabled(true);
      std::thread worker([&] { tv::run_burn(link, chipset, settings, sink, cancel); });
      ended = testsupport::wait_for([&] { return !sink.done_calls().empty(); }, kBurnDeadlineMs);
      if (!ended) cancel = true;
      worker.join();
    }
    const char* which = reader_gone ? "closed pipe" : "full pipe";
    ASSERT_TRUE(ended) << which;
    EXPECT_EQ(sink.done_calls(), std::vector<bool>{true}) << which;
    EXPECT_GT(tv::trace_dropped_lines(), dropped_before) << which;
  }
  EXPECT_TRUE(testsupport::box_holds(box.sim().memories(), generated.images));
  tv::set_pause_scale_percent(100);
}

// The queue in front of a pipe: the lines beyond its room are counted as
// they are dropped, and once the reader has caught up the room is there again.
TEST(TracePipe, TheQueueCountsWhatItDropsAndHasRoomAgainOnceRead) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  std::vector<char> filler(65536, 'x');
  while (write(fds[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(fds[1], F_SETFL, 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(fds[1], STDOUT_FILENO);
  close(fds[1]);
  const bool was_enabled = tv::trace_enabled();
  tv::set_trace_enabled(true);
  const std::string line(1023, 'x');  // 1 KiB with its line end; the queue holds 256

  uint64_t before = tv::trace_dropped_lines();
  for (int i = 0; i < 512; ++i) tv::trace("%s\n", line.c_str());  // the writer is stuck on the full pipe
  const uint64_t dropped = tv::trace_dropped_lines() - before;
  std::thread reader([&] {
    char buffer[65536];
    while (read(fds[0], buffer, sizeof buffer) > 0) {
    }
  });
  EXPECT_TRUE(tv::trace_flush(10000));
  EXPECT_GE(dropped, 250u);
  EXPECT_LE(dropped, 257u);
  before = tv::trace_dropped_lines();
  for (int round = 0; round < 4; ++round) {  // three times the queue's room, a part at a time
    for (int i = 0; i < 200; ++i) tv::trace("%s\n", line.c_str());
    ASSERT_TRUE(tv::trace_flush(10000));
  }
  EXPECT_EQ(tv::trace_dropped_lines(), before);

  tv::set_trace_enabled(was_enabled);
  dup2(saved, STDOUT_FILENO);  // the pipe's last writer goes: the reader ends
  close(saved);
  reader.join();
  close(fds[0]);
}

}  // namespace
