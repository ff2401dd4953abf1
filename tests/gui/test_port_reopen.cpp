// A line that comes back, through the whole program against the box
// simulator: a programming port missing at start-up, or hung up, is opened
// again within a retry of the box's return and then burns exactly; the lamp
// tries at once; Save applies a new port at once, but never under a burn; a
// second start against the same simulator opens both lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "dbkit/FXMessageSeam.h"
#include "gen/chipset_gen.h"
#include "shell/burn_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/globals.h"
#include "shell/line_keeper.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/startup.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "support/box_images.h"
#include "support/fox_app.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"

using namespace FX;

namespace {

constexpr int kBurnDeadlineMs = 240000;

// Standard output of the program while an object lives: the trace lines.
class TraceCapture {
 public:
  explicit TraceCapture(const std::string& path) : path_(path) {
    std::fflush(stdout);
    saved_ = dup(1);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
  }
  ~TraceCapture() { finish(); }
  std::vector<std::string> finish() {
    std::vector<std::string> lines;
    if (saved_ < 0) return lines;
    tv::trace_flush(1000);
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    saved_ = -1;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string path_;
  int saved_ = -1;
};

int lines_containing(const std::vector<std::string>& lines, const std::string& part) {
  int count = 0;
  for (const std::string& line : lines) count += line.find(part) != std::string::npos;
  return count;
}

class PortReopen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(oldCwd_, sizeof oldCwd_));
    ASSERT_EQ(chdir(work_.path().c_str()), 0);
    FXRegistry& registry = testsupport::test_app()->reg();
    registry.deleteSection("settings");
    registry.deleteSection("position");
    tv::set_trace_enabled(true);
    tv::set_message_hook([this](const tv::MessageRecord& record) {
      messages_.push_back(record.caption);
      return FXuint(MBOX_CLICKED_OK);
    });
    tv::set_file_dialog_hook([this](const tv::FileDialogRequest&, std::string* chosen) {
      *chosen = chipsetPath_;
      return true;
    });
  }

  void TearDown() override {
    if (main_window) tv::shut_down_program();
    tv::set_message_hook({});
    tv::set_file_dialog_hook({});
    tv::set_pause_scale_percent(100);
    ASSERT_EQ(chdir(oldCwd_), 0);
  }

  void startSim(const std::string& programming = "com3") {
    std::string error;
    ASSERT_TRUE(box_.start(&error, programming, "com5")) << error;
  }

  void startProgram() {
    char name[] = "tvbox";
    char* argv[] = {name, nullptr};
    TraceCapture quiet(work_.file("start-trace.txt"));
    tv::start_program(1, argv, testsupport::test_app());
    ASSERT_NE(main_window, nullptr);
    main_window->flashDelay = 0;
    main_window->sysfontDelay = 0;
  }

  tv::BoxLines& lines() { return main_window->lines(); }
  bool lampGreen() { return main_window->portIndicator->getIcon() == main_window->icons().lampGreen; }
  std::string status() { return main_window->statusBar->getStatusLine()->getNormalText().text(); }
  void command(FXSelector id) { main_window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr); }
  int boxes(const char* caption) {
    int count = 0;
    for (const std::string& seen : messages_) count += seen == caption;
    return count;
  }

  // Waits, with the event loop running, until the lamp is green; the time it took.
  int64_t msUntilGreen(int timeout_ms) {
    const int64_t start = tv::monotonic_ms();
    if (!testsupport::run_gui_until([&] { return lampGreen(); }, timeout_ms)) return -1;
    return tv::monotonic_ms() - start;
  }

  // Loads a small generated chipset through the window and burns it.
  void burnExactly() {
    tv::set_pause_scale_percent(1);
    const chipsetgen::Generated generated = chipsetgen::generate(testsupport::small_chipset_options());
    chipsetPath_ = box_.dir().file("chipset.hv");
    std::string error;
    ASSERT_TRUE(chipsetgen::write_chipset(chipsetPath_, generated.text, false, &error)) << error;
    command(tv::ID_OPEN_CHIPSET);
    command(tv::ID_BURN);
    ASSERT_TRUE(main_window->burn().burnRunning());
    ASSERT_TRUE(testsupport::run_gui_until([&] { return boxes("Burning...") > 0; }, kBurnDeadlineMs));
    EXPECT_EQ(boxes("Error"), 0);
    EXPECT_TRUE(testsupport::box_holds(box_.sim().memories(), generated.images));
  }

  testsupport::SimulatedBox box_{"reopen"};
  testsupport::TempDir work_{"reopen-work"};
  char oldCwd_[4096];
  std::vector<std::string> messages_;
  std::string chipsetPath_;
};

TEST_F(PortReopen, PortMissingAtStartUpOpensWithinThreeSecondsOfTheBoxAndBurnsExactly) {
  startProgram();
  ASSERT_FALSE(lines().programming.is_open());
  EXPECT_FALSE(lampGreen());
  std::vector<std::string> trace;
  {
    TraceCapture capture(work_.file("retry-trace.txt"));
    // Two retries with nothing there: nothing is said about them.
    testsupport::run_gui_until([] { return false; }, 2 * tv::kPortRetryMs + 500);
    startSim();
    const int64_t took = msUntilGreen(3000);
    EXPECT_GE(took, 0) << "the lamp did not turn green within 3 s";
    trace = capture.finish();
  }
  EXPECT_TRUE(lines().programming.is_open());
  EXPECT_EQ(lines_containing(trace, "programming port"), 1) << "one trace line for the one change";
  EXPECT_EQ(status().rfind("The programming port is open com3 (", 0), 0u) << status();
  EXPECT_TRUE(messages_.empty()) << "no message box while retrying";
  burnExactly();
}

TEST_F(PortReopen, LineThatHungUpIsOpenedAgainWhenTheBoxIsBackAndBurnsExactly) {
  startSim();
  startProgram();
  ASSERT_TRUE(lampGreen());
  box_.sim().stop();  // the adapter is pulled
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !lines().programming.is_open(); }, 5000));
  EXPECT_FALSE(lampGreen());
  EXPECT_EQ(status().rfind("Hung up: ", 0), 0u) << status();
  startSim();  // and plugged back
  EXPECT_GE(msUntilGreen(3000), 0) << "the lamp did not turn green within 3 s";
  burnExactly();
}

// The control line is kept by the same rule: a device that goes away while
// the line is idle is noticed and closed, its lamp turns black with the
// reason in its tip, and it is opened again when the device is back. A retry
// that opened a line says so to FOX (the status line follows at once, not at
// the next mouse move); a retry that changed nothing stays quiet.
TEST_F(PortReopen, ControlLineThatWentAwayIsOpenedAgainWithItsOwnLamp) {
  startSim();
  startProgram();
  FXButton* lamp = main_window->controlIndicator;
  ASSERT_TRUE(lines().control.is_open());
  EXPECT_EQ(lamp->getIcon(), main_window->icons().lampGreen);
  box_.sim().stop();
  ASSERT_TRUE(
      testsupport::run_gui_until([&] { return !lines().control.is_open(); }, 2 * tv::kPortRetryMs + 1000));
  EXPECT_EQ(lamp->getIcon(), main_window->icons().lampBlack);
  EXPECT_EQ(std::string(main_window->whyControlLineIsClosed().text()).rfind("Hung up: ", 0), 0u)
      << main_window->whyControlLineIsClosed().text();
  startSim();
  tv::LineKeeper& keeper = main_window->ports().control();
  EXPECT_EQ(keeper.handle(nullptr, FXSEL(SEL_TIMEOUT, tv::LineKeeper::ID_RETRY), nullptr), 1)
      << "the retry that opened the line says that something changed";
  EXPECT_TRUE(lines().control.is_open());
  EXPECT_EQ(lamp->getIcon(), main_window->icons().lampGreen);
  EXPECT_TRUE(main_window->whyControlLineIsClosed().empty());
  EXPECT_EQ(keeper.handle(nullptr, FXSEL(SEL_TIMEOUT, tv::LineKeeper::ID_RETRY), nullptr), 0);
}

// The lamp tries at once; Save puts a new port to use at once, closing the
// old one, except under a running burn, which keeps its port to its end.
TEST_F(PortReopen, LampTriesAtOnceAndSaveAppliesANewPortButNeverUnderABurn) {
  startProgram();
  ASSERT_FALSE(lines().programming.is_open());
  startSim();
  FXButton* lamp = main_window->portIndicator;
  lamp->getTarget()->handle(lamp, FXSEL(SEL_COMMAND, lamp->getSelector()), nullptr);
  EXPECT_TRUE(lines().programming.is_open()) << "the click opened it, not a later retry";
  EXPECT_TRUE(lampGreen());

  main_window->comPort = "com4";  // nothing there
  command(tv::ID_SAVE_SETTINGS);
  EXPECT_FALSE(lines().programming.is_open()) << "the old line was closed";
  EXPECT_FALSE(lampGreen());
  EXPECT_EQ(status(),
            "No such device: " + box_.dir().file("com4") + ". The programming port did not open (com4).");
  main_window->comPort = "com3";
  command(tv::ID_SAVE_SETTINGS);
  EXPECT_TRUE(lines().programming.is_open());
  EXPECT_EQ(main_window->programmingPortName(), "com3");

  main_window->flashDelay = 600;  // the burn waits after its PIC stage
  chipsetPath_ = box_.dir().file("chipset.hv");
  std::string error;
  ASSERT_TRUE(chipsetgen::write_chipset(
      chipsetPath_, chipsetgen::generate(testsupport::small_chipset_options()).text, false, &error));
  command(tv::ID_OPEN_CHIPSET);
  command(tv::ID_BURN);
  ASSERT_TRUE(main_window->burn().burnRunning());
  main_window->comPort = "com4";
  command(tv::ID_SAVE_SETTINGS);
  testsupport::run_gui_until([] { return false; }, tv::kPortRetryMs + 500);
  EXPECT_TRUE(lines().programming.is_open()) << "the burn keeps its port";
  EXPECT_TRUE(main_window->burn().burnRunning());
  main_window->burn().cancelAndJoinBurn();
  EXPECT_TRUE(testsupport::run_gui_until([&] { return !lines().programming.is_open(); }, 3000))
      << "after the burn the new port took its place";
  EXPECT_EQ(std::string(main_window->whyProgrammingPortIsClosed().text()),
            "No such device: " + box_.dir().file("com4") + ". The programming port did not open (com4).");
}

TEST_F(PortReopen, SecondStartAgainstTheSameSimulatorOpensBothLines) {
  startSim();
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    startProgram();
    EXPECT_TRUE(lines().programming.is_open());
    EXPECT_TRUE(lines().control.is_open());
    EXPECT_TRUE(main_window->whyControlLineIsClosed().empty())
        << main_window->whyControlLineIsClosed().text();
    tv::shut_down_program();
  }
}

}  // namespace
