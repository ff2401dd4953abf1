// The burn page driven through the real main window's message map, against
// the box simulator on pseudo-terminals: loading through the "Open File"
// dialog (answered by the seam), burning on the page's worker, what the log
// and the boxes tell the user, a box that vanishes, a file changed under the
// loader's feet, closing the window in the middle of a burn, and the two jobs
// that only read the box (Compare, and the backup from the File menu).
#include <fox-1.6/fxkeys.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/read_back.h"
#include "dbkit/FXMessageSeam.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "shell/burn_page.h"
#include "shell/console_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/globals.h"
#include "shell/gui_burn_sink.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "support/box_images.h"
#include "support/fox_app.h"
#include "support/simulated_box.h"
#include "support/wait_for.h"

using namespace FX;

namespace {

constexpr int kBurnDeadlineMs = 240000;
const char* const kDone = "Burning...";
// The last line names the saved log: a burn's, or a compare's or backup's.
const char* const kBurnLogSaved = "Burn log saved in ";
const char* const kReadLogSaved = "Log saved in ";

std::string saved_path_of(const std::string& line) {
  for (const std::string prefix : {kBurnLogSaved, kReadLogSaved})
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  return std::string();
}

// The completion box says it as it always did; its second line says whether
// the burn was read back.
const char* const kCompleted = "Burning Process Completed.";
const char* const kNotVerifiedBox = "Burning Process Completed.\nNot verified: the Verify box is off.";
// The burn's last line but the one that names the saved log.
const char* const kVerifiedPrefix = "Verified: ";
const char* const kNotVerifiedLine = "Verified: no (the Verify box is off)";

const std::vector<std::string> kFullBurnLog = {
    "Burning PIC...",  "PIC Burned OK!",         "Burning FLASH...",       "FLASH Burned OK!",
    "Burning OSD...",  "OSD Burned OK!",         "Burning OSD RusFont...", "OSD RusFont Burned OK!",
    "FONT Loading...", "Burning OSD SysFont...", "OSD SysFont Burned OK!"};

chipsetgen::Options full_options() {
  chipsetgen::Options options;
  options.seed = 5;
  options.pic_bytes = 500;
  options.flash_bytes = 0x10000;  // 16 sectors
  options.osd_bytes = 0x2000;
  options.glyphs = 128;
  return options;
}

chipsetgen::Options small_options() { return testsupport::small_chipset_options(); }

class BurnGui : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
    extended_mode = false;
    tv::set_message_hook([this](const tv::MessageRecord& record) {
      messages_.push_back(record);
      return record.kind == tv::MessageKind::Question ? questionAnswer_ : FXuint(MBOX_CLICKED_OK);
    });
    tv::set_file_dialog_hook([this](const tv::FileDialogRequest& request, std::string* chosen) {
      dialogs_.push_back(request);
      if (dialogAnswer_.empty()) return false;
      *chosen = dialogAnswer_;
      return true;
    });
    window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
    ASSERT_EQ(box_.open_programming_port(window->lines().programming), tv::kOpened);
    window->flashDelay = 0;
    window->sysfontDelay = 0;
    // The read-back is on in a new window; these burns go without it unless
    // a test asks for it.
    page().verify = FALSE;
  }

  void TearDown() override {
    delete window;
    tv::set_message_hook({});
    tv::set_file_dialog_hook({});
    extended_mode = false;
    tv::set_pause_scale_percent(100);
  }

  tv::BurnPage& page() { return window->burn(); }

  void command(FXSelector id) { window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr); }

  // Writes a generated chipset and remembers what the box must hold after it.
  std::string writeGenerated(const chipsetgen::Options& options, bool gzip, const char* name) {
    generated_ = chipsetgen::generate(options);
    std::string path = box_.dir().file(name);
    std::string error;
    EXPECT_TRUE(chipsetgen::write_chipset(path, generated_.text, gzip, &error)) << error;
    return path;
  }

  std::string writeText(const std::string& text, const char* name) {
    std::string path = box_.dir().file(name);
    EXPECT_TRUE(testsupport::write_file(path, text)) << path;
    return path;
  }

  // Command 73 with the dialog answered by `path` (empty: cancelled).
  void load(const std::string& path) {
    dialogAnswer_ = path;
    command(tv::ID_OPEN_CHIPSET);
  }

  int boxesCaptioned(const char* caption) const {
    int count = 0;
    for (const tv::MessageRecord& record : messages_) count += record.caption == caption;
    return count;
  }

  // Command 74, then the event loop until the completion box was shown.
  bool burnUntilBox(FXSelector id = tv::ID_BURN) {
    const int before = boxesCaptioned(kDone);
    command(id);
    return testsupport::run_gui_until([&] { return boxesCaptioned(kDone) > before; }, kBurnDeadlineMs);
  }

  // The burn log's lines, but for the last two a burn adds, which say
  // whether it was verified and name the saved log file: those are kept in
  // verifiedLine_ and savedLogLine_.
  std::vector<std::string> logLines() {
    std::vector<std::string> lines = allLogLines();
    if (!lines.empty() && !saved_path_of(lines.back()).empty()) {
      savedLogLine_ = lines.back();
      lines.pop_back();
    }
    if (!lines.empty() && lines.back().rfind(kVerifiedPrefix, 0) == 0) {
      verifiedLine_ = lines.back();
      lines.pop_back();
    }
    return lines;
  }

  std::vector<std::string> allLogLines() {
    FXString text = page().log->getText();
    std::vector<std::string> lines;
    std::string current;
    for (FXint i = 0; i < text.length(); ++i) {
      if (text[i] == '\n') {
        lines.push_back(current);
        current.clear();
      } else {
        current += text[i];
      }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
  }

  // The style of the first character of line `index` of the log.
  int styleOfLine(int index) {
    FXint position = 0;
    for (int line = 0; line < index; ++line) position = page().log->nextLine(position);
    return page().log->getStyle(position);
  }

  void expectImagesMatch() { EXPECT_TRUE(testsupport::box_holds(sim_.memories(), generated_.images)); }

  void expectIdleAfterBurn() {
    EXPECT_FALSE(page().burnRunning());
    EXPECT_TRUE(testsupport::usable(page().burnButton));
    EXPECT_TRUE(testsupport::usable(page().openButton));
    EXPECT_TRUE(testsupport::usable(page().fileField));
    EXPECT_TRUE(testsupport::usable(page().verifyCheck));
    EXPECT_FALSE(testsupport::usable(page().recallButton));  // only a new load enables it
    EXPECT_TRUE(window->pollTimerArmed());
    EXPECT_FALSE(window->lines().use.programmingWorkerRunning());
    EXPECT_TRUE(testsupport::usable(window->consoleTab));
    EXPECT_FALSE(testsupport::usable(window->channelsTab));
  }

  std::string statusText() const { return window->statusBar->getStatusLine()->getNormalText().text(); }
  bool statusMatches(const char* pattern) const {
    return std::regex_match(statusText(), std::regex(pattern));
  }

  int fourZLines() {
    const std::vector<uint8_t> received = sim_.received();
    const std::string text(received.begin(), received.end()), line = "ZZZZ       \r";
    int count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
  }

  X_SRV_K_Window* window = nullptr;
  testsupport::SimulatedBox box_{"burn-gui"};
  boxsim::BoxSimulator& sim_ = box_.sim();
  chipsetgen::Generated generated_;
  std::vector<tv::MessageRecord> messages_;
  std::vector<tv::FileDialogRequest> dialogs_;
  std::string dialogAnswer_;
  std::string savedLogLine_;
  std::string verifiedLine_;
  FXuint questionAnswer_ = MBOX_CLICKED_NO;
};

// The one burn at the protocol's own pace.
TEST_F(BurnGui, FullBurnThroughTheWindowLeavesTheGeneratedImagesAndOneCompletionBox) {
  const std::string path = writeGenerated(full_options(), false, "chipset.hv");
  load(path);
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].title, "Open File");
  EXPECT_EQ(dialogs_[0].patterns, "Harnvale Chipset (*.hv,*.hv.gz)\nAll (*)");
  EXPECT_EQ(dialogs_[0].width, 500);
  EXPECT_EQ(dialogs_[0].height, 300);
  EXPECT_EQ(std::string(page().chipsetPath.text()), path);
  for (FXCheckButton* box : page().sectionChecks) EXPECT_TRUE(box->getCheck());
  EXPECT_TRUE(testsupport::usable(page().sectionBox(tv::Section::OsdSysFont)));
  EXPECT_FALSE(testsupport::usable(page().sectionBox(tv::Section::Flash)));  // no switch a
  ASSERT_TRUE(testsupport::usable(page().burnButton));
  EXPECT_TRUE(testsupport::usable(page().recallButton));

  command(tv::ID_BURN);
  // The start command's own effects, before the worker has said anything.
  EXPECT_TRUE(page().burnRunning());
  EXPECT_EQ(logLines(), std::vector<std::string>{"Burning PIC..."});
  EXPECT_EQ(styleOfLine(0), tv::kStyleBlue);
  for (FXWindow* control :
       {static_cast<FXWindow*>(page().burnButton), static_cast<FXWindow*>(page().openButton),
        static_cast<FXWindow*>(page().recallButton), static_cast<FXWindow*>(page().fileField),
        static_cast<FXWindow*>(page().verifyCheck)})
    EXPECT_FALSE(testsupport::usable(control));
  EXPECT_FALSE(window->pollTimerArmed());
  EXPECT_TRUE(window->lines().use.programmingWorkerRunning());

  ASSERT_TRUE(testsupport::run_gui_until([&] { return boxesCaptioned(kDone) > 0; }, kBurnDeadlineMs));
  EXPECT_EQ(messages_.back().text, kNotVerifiedBox);
  EXPECT_EQ(messages_.back().kind, tv::MessageKind::Information);
  EXPECT_EQ(logLines(), kFullBurnLog);
  EXPECT_EQ(verifiedLine_, kNotVerifiedLine);
  EXPECT_EQ(styleOfLine(1), tv::kStyleBoldBlue);
  expectImagesMatch();
  // The log ends naming the saved file, under the (scratch) home folder.
  const std::string saved = saved_path_of(savedLogLine_);
  EXPECT_EQ(saved.rfind(std::string(std::getenv("HOME")) + "/.local/state/tvbox/logs/", 0), 0u) << saved;
  std::ifstream file(saved);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Chipset:  " + path), std::string::npos) << text;
  // The header tvbox-burn writes too, from the same function.
  EXPECT_NE(text.find("Setting:  device = " + box_.sim().programming_path() +
                      "\nSetting:  sections = PIC,Flash,OSD,OSD RusFont,OSD SysFont\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ok      OSD SysFont Burned OK!"), std::string::npos) << text;
  EXPECT_NE(text.find("Outcome:  OK\n" + std::string(kNotVerifiedLine) + "\n"), std::string::npos) << text;
  expectIdleAfterBurn();
  EXPECT_TRUE(statusMatches("Burn completed in [0-9]+:[0-5][0-9]")) << statusText();
  EXPECT_EQ(window->progressBar->getProgress(), 0u);
  // Later ticks find the flag cleared: the box came once.
  for (int tick = 0; tick < 5; ++tick) page().checkBurnCompleted();
  EXPECT_EQ(boxesCaptioned(kDone), 1);
}

TEST_F(BurnGui, GzipFileBurnsTwiceInOneRunAndEachBurnRewritesTheBox) {
  tv::set_pause_scale_percent(1);
  load(writeGenerated(full_options(), true, "chipset.hv.gz"));
  ASSERT_TRUE(testsupport::usable(page().burnButton));
  ASSERT_TRUE(burnUntilBox());
  EXPECT_EQ(logLines(), kFullBurnLog);
  expectImagesMatch();

  boxsim::Memories scribbled = sim_.memories();
  std::fill(scribbled.flash.begin(), scribbled.flash.begin() + 0x10000, 0x00);
  std::fill(scribbled.osd.begin(), scribbled.osd.end(), 0x33);
  // The font burn clears the ten font pages and writes the glyphs; it leaves
  // the rest of font memory alone, so only those parts are scribbled over.
  std::fill(scribbled.font.begin(), scribbled.font.begin() + 128 * 36, 0x5A);
  std::fill(scribbled.font.begin() + chipsetgen::kFontPageFirst,
            scribbled.font.begin() + chipsetgen::kFontPageEnd, 0x5A);
  sim_.set_memories(scribbled);
  ASSERT_TRUE(burnUntilBox());
  EXPECT_EQ(logLines(), kFullBurnLog);
  expectImagesMatch();
  expectIdleAfterBurn();
  EXPECT_EQ(boxesCaptioned(kDone), 2);
  EXPECT_EQ(messages_.size(), 2u);  // nothing but the two completion boxes
}

TEST_F(BurnGui, FiveBareMarkersEnableBurningAndLogEmptyTitlesThenZeroCounts) {
  load(writeText("***HEADER>\r\n***PIC>\r\n***FLASH>\r\n***OSD>\r\n***OSD Font>\r\n", "bare.hv"));
  EXPECT_TRUE(testsupport::usable(page().burnButton));
  EXPECT_FALSE(testsupport::usable(page().recallButton));
  EXPECT_FALSE(page().sectionBox(tv::Section::OsdSysFont)->getCheck());
  EXPECT_FALSE(testsupport::usable(page().sectionBox(tv::Section::OsdSysFont)));
  EXPECT_TRUE(testsupport::usable(page().sectionBox(tv::Section::OsdRusFont)));
  const std::vector<std::string> expected = {
      "", "", "", "", "", "PIC LINES 0", "FLASH LINES 0", "OSD LINES 0", "OSD Font LINES 0"};
  EXPECT_EQ(logLines(), expected);
  EXPECT_EQ(styleOfLine(5), tv::kStyleBoldGreen);
}

TEST_F(BurnGui, ExtendedModeLetsFlashAndOsdBeLeftOutAndBoxesCountWhenTheirStageIsReached) {
  tv::set_pause_scale_percent(1);
  extended_mode = true;
  load(writeGenerated(small_options(), false, "chipset.hv"));
  ASSERT_TRUE(testsupport::usable(page().sectionBox(tv::Section::Flash)));
  ASSERT_TRUE(testsupport::usable(page().sectionBox(tv::Section::Osd)));
  page().sectionBox(tv::Section::Flash)->setCheck(FALSE);  // before the start: read when the burn starts
  page().sectionBox(tv::Section::OsdSysFont)->setCheck(FALSE);
  command(tv::ID_BURN);
  // During the burn the user unchecks OSD: its stage is still ahead.
  page().sectionBox(tv::Section::Osd)->setCheck(FALSE, TRUE);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return boxesCaptioned(kDone) > 0; }, kBurnDeadlineMs));
  const std::vector<std::string> expected = {"Burning PIC...", "PIC Burned OK!", "Burning OSD RusFont...",
                                             "OSD RusFont Burned OK!"};
  EXPECT_EQ(logLines(), expected);
  boxsim::Memories memories = sim_.memories();
  EXPECT_EQ(memories.pic, generated_.images.pic);
  EXPECT_TRUE(std::all_of(memories.flash.begin(), memories.flash.begin() + 4096,
                          [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(sim_.stats().osd_clears, 0u);
}

TEST_F(BurnGui, SystemFontAloneAddsToTheLogAndWritesOnlyTheFont) {
  tv::set_pause_scale_percent(1);
  load(writeGenerated(small_options(), false, "chipset.hv"));
  const size_t loadLines = logLines().size();
  ASSERT_TRUE(testsupport::usable(page().recallButton));
  ASSERT_TRUE(burnUntilBox(tv::ID_RECALL));
  std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), loadLines + 3);  // the load's lines stay
  EXPECT_EQ(
      std::vector<std::string>(lines.end() - 3, lines.end()),
      (std::vector<std::string>{"FONT Loading...", "Burning OSD SysFont...", "OSD SysFont Burned OK!"}));
  EXPECT_EQ(verifiedLine_, "Verified: no (nothing of it can be read back)");
  EXPECT_EQ(messages_.back().text,
            std::string(kCompleted) +
                "\nNot verified: the PIC program and the fonts cannot be read back from "
                "the box.");
  EXPECT_EQ(sim_.stats().pic_records, 0u);
  EXPECT_EQ(sim_.stats().sector_erases, 0u);
}

// A file that holds the system font and nothing else: only the system-font
// button is usable, and the burn's end leaves the burn button as the load
// left it (disabled), not merely re-enabled.
TEST_F(BurnGui, SystemFontOnlyFileNeverOffersTheFullBurn) {
  tv::set_pause_scale_percent(1);
  writeGenerated(small_options(), false, "full.hv");
  const size_t font = generated_.text.find("***OSD All Font>");
  ASSERT_NE(font, std::string::npos);
  load(writeText(generated_.text.substr(font), "sysfont-only.hv"));
  // The event loop's own update pass enables the button (built disabled).
  ASSERT_TRUE(testsupport::run_gui_until([&] { return page().recallButton->isEnabled() != FALSE; }, 5000));
  EXPECT_FALSE(testsupport::usable(page().burnButton));
  ASSERT_TRUE(burnUntilBox(tv::ID_RECALL));
  EXPECT_EQ(messages_.back().text.rfind(kCompleted, 0), 0u) << messages_.back().text;
  EXPECT_FALSE(testsupport::usable(page().burnButton));
  EXPECT_FALSE(testsupport::usable(page().recallButton));  // until the next load
  EXPECT_TRUE(testsupport::usable(page().openButton));
  EXPECT_TRUE(testsupport::usable(page().fileField));
}

TEST_F(BurnGui, UnsupportedDeviceShowsOnlyItsBoxAndKeepsTheLoad) {
  const std::string path = writeGenerated(small_options(), false, "chipset.hv");
  load(path);
  const std::vector<std::string> before = logLines();
  window->lines().first.set_unsupported(true);
  load(writeText("***HEADER>\r\n", "other.hv"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, "Error");
  EXPECT_EQ(messages_[0].text, "Device is not supported.");
  EXPECT_EQ(dialogs_.size(), 1u);  // no second dialog
  EXPECT_EQ(logLines(), before);
  EXPECT_EQ(std::string(page().chipsetPath.text()), path);
  EXPECT_TRUE(testsupport::usable(page().burnButton));
  for (FXCheckButton* box : page().sectionChecks) EXPECT_TRUE(box->getCheck());
}

TEST_F(BurnGui, CancelledDialogLeavesNothingToBurn) {
  const std::string path = writeGenerated(small_options(), false, "chipset.hv");
  load(path);
  load("");
  for (FXCheckButton* box : page().sectionChecks) EXPECT_FALSE(box->getCheck());
  EXPECT_FALSE(testsupport::usable(page().sectionBox(tv::Section::OsdRusFont)));
  EXPECT_FALSE(testsupport::usable(page().sectionBox(tv::Section::OsdSysFont)));
  EXPECT_FALSE(testsupport::usable(page().burnButton));
  EXPECT_FALSE(testsupport::usable(page().recallButton));
  EXPECT_EQ(dialogs_.back().file_name, path);  // the dialog started at the loaded file
  EXPECT_EQ(std::string(page().chipsetPath.text()), path);
  EXPECT_EQ(logLines(),
            (std::vector<std::string>{"PIC LINES 0", "FLASH LINES 0", "OSD LINES 0", "OSD Font LINES 0"}));
  command(tv::ID_BURN);  // a stray burn command starts nothing
  EXPECT_FALSE(page().burnRunning());
  EXPECT_TRUE(sim_.received().empty());
}

TEST_F(BurnGui, ChangedOrRenamedFileIsRefusedUntilLoadedAgain) {
  const std::string path = writeGenerated(small_options(), false, "chipset.hv");
  load(path);
  std::ofstream(path, std::ios::binary | std::ios::app) << ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n";
  command(tv::ID_BURN);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, "Error");
  EXPECT_NE(messages_[0].text.find("load it again"), std::string::npos) << messages_[0].text;
  EXPECT_FALSE(page().burnRunning());
  EXPECT_TRUE(testsupport::usable(page().burnButton));
  EXPECT_TRUE(window->pollTimerArmed());

  load(path);  // loaded again: the field now names what was loaded
  page().chipsetPath = box_.dir().file("elsewhere.hv").c_str();
  command(tv::ID_BURN);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].caption, "Error");
  EXPECT_FALSE(page().burnRunning());
  EXPECT_TRUE(sim_.received().empty());
}

TEST_F(BurnGui, BoxVanishingMidBurnEndsInARedLineAndTheFailureBoxAndTheWindowStaysUsable) {
  tv::set_pause_scale_percent(1);
  const std::string path = writeGenerated(small_options(), false, "chipset.hv");
  load(path);
  const int picRecords = (page().loaded().pic_adr_l - page().loaded().pic_adr_f + 7) / 8;
  boxsim::Faults faults;
  faults.vanish_after = picRecords + 20;
  sim_.set_faults(faults);
  ASSERT_TRUE(burnUntilBox());
  EXPECT_EQ(messages_.back().kind, tv::MessageKind::Error);
  EXPECT_EQ(messages_.back().text.find(kCompleted), std::string::npos);
  for (const tv::MessageRecord& record : messages_)
    EXPECT_EQ(record.text.find(kCompleted), std::string::npos);
  std::vector<std::string> lines = logLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "Burning failed: FLASH.");
  EXPECT_EQ(verifiedLine_, "Verified: no (the Verify box is off)");
  EXPECT_EQ(lines[lines.size() - 2].find("FLASH: the line to the box was lost at "), 0u);
  EXPECT_EQ(styleOfLine(int(lines.size()) - 1), tv::kStyleBoldRed);
  EXPECT_EQ(window->portIndicator->getIcon(), window->icons().lampBlack);  // the lamp tells it too
  // The box says where and why, as the status line did until the hang-up
  // took it over, rather than sending the engineer to the log.
  EXPECT_TRUE(std::regex_search(
      messages_.back().text,
      std::regex("Burn failed in FLASH at ([0-9A-F]{4})\nFLASH: the line to the box was lost at \\1\\.")))
      << messages_.back().text;
  // It says the fact once, and what to do about it.
  const std::string& box = messages_.back().text;
  EXPECT_EQ(box.find("line to the box was lost"), box.rfind("line to the box was lost")) << box;
  EXPECT_NE(box.find("Plug the cable back in"), std::string::npos) << box;
  EXPECT_NE(box.find("press Resume"), std::string::npos) << box;
  expectIdleAfterBurn();

  load(path);  // the page works on: a load after the failure
  EXPECT_TRUE(testsupport::usable(page().burnButton));
  const std::vector<std::string> relogged = logLines();
  EXPECT_NE(std::find(relogged.begin(), relogged.end(),
                      "FLASH LINES " + std::to_string(page().loaded().lines_in(tv::Section::Flash))),
            relogged.end());
}

TEST_F(BurnGui, ClosingDuringABurnAsksAndYesCancelsAndJoinsTheWorker) {
  window->flashDelay = 600;  // the worker sits in the pause after the PIC stage
  load(writeGenerated(small_options(), false, "chipset.hv"));
  command(tv::ID_BURN);
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] { return !logLines().empty() && logLines().back() == "PIC Burned OK!"; }, kBurnDeadlineMs));

  questionAnswer_ = MBOX_CLICKED_NO;
  window->handle(nullptr, FXSEL(SEL_CLOSE, 0), nullptr);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].kind, tv::MessageKind::Question);
  EXPECT_TRUE(page().burnRunning());  // "no": the window and the burn go on

  questionAnswer_ = MBOX_CLICKED_YES;
  const int64_t asked = tv::monotonic_ms();
  EXPECT_TRUE(window->mayClose());
  EXPECT_LT(tv::monotonic_ms() - asked, 10000);  // far less than the 600 s pause
  EXPECT_EQ(messages_.size(), 2u);
  EXPECT_FALSE(page().burnRunning());
  EXPECT_EQ(logLines().back(), "Burning cancelled.");
  EXPECT_EQ(styleOfLine(int(logLines().size()) - 1), tv::kStyleBoldRed);
  EXPECT_FALSE(window->lines().use.programmingWorkerRunning());
  // The box leaves its loader: the hand-shake's four-Z line and the closing one.
  EXPECT_TRUE(testsupport::wait_for([&] { return fourZLines() == 2; }, 5000));
}

// A file with misplaced lines is refused with a box that points at the log;
// one with bad checksums is burned only when the engineer answers Yes.
TEST_F(BurnGui, FaultyFilesAreRefusedAndBadChecksumsAskFirst) {
  std::string text = chipsetgen::generate(small_options()).text;
  const std::string bad = ":1020000000000000000000000000000000000000EE";  // checksum should be D0
  load(writeText(text + "***FLASH>\r\n", "twice.hv"));
  command(tv::ID_BURN);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].kind, tv::MessageKind::Error);
  EXPECT_NE(messages_[0].text.find("burn log"), std::string::npos);

  // The first flash record given twice: the flash would hold the AND of both.
  std::string overlapping = text;
  const size_t record = overlapping.find("\r\n:10", overlapping.find("***FLASH>")) + 2;
  overlapping.insert(record, overlapping.substr(record, overlapping.find("\r\n", record) + 2 - record));
  load(writeText(overlapping, "overlap.hv"));
  const std::vector<std::string> loadLog = logLines();
  EXPECT_TRUE(std::any_of(loadLog.begin(), loadLog.end(), [](const std::string& line) {
    return line.find(": the flash record at 0000 overlaps the one on line ") != std::string::npos;
  }));
  command(tv::ID_BURN);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].kind, tv::MessageKind::Error);

  const size_t flash = text.find("***FLASH>");
  text.insert(text.find('\n', flash) + 1, bad + "\r\n");
  load(writeText(text, "checksum.hv"));
  questionAnswer_ = MBOX_CLICKED_NO;
  command(tv::ID_BURN);
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[2].kind, tv::MessageKind::Question);
  EXPECT_EQ(messages_[2].buttons, FXuint(MBOX_YES_NO));
  EXPECT_NE(messages_[2].text.find("Burn anyway?"), std::string::npos);
  EXPECT_FALSE(page().burnRunning());
  EXPECT_TRUE(sim_.received().empty());

  tv::set_pause_scale_percent(1);
  questionAnswer_ = MBOX_CLICKED_YES;
  page().verify = TRUE;  // the Verify box, as the settings left it
  ASSERT_TRUE(burnUntilBox());
  const std::vector<std::string> lines = logLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "FLASH verified: 4112 bytes"), lines.end());
  EXPECT_EQ(verifiedLine_, "Verified: yes (flash and OSD read back)");
  EXPECT_EQ(messages_.back().text,
            std::string(kCompleted) +
                "\nVerified: what was written into the flash and the OSD memory was read "
                "back and matches the file.");
  EXPECT_EQ(sim_.memories().flash[0x2000], 0x00);
}

TEST_F(BurnGui, DestroyingTheWindowDuringABurnStopsTheWorkerFirst) {
  window->flashDelay = 600;
  load(writeGenerated(small_options(), false, "chipset.hv"));
  command(tv::ID_BURN);
  ASSERT_TRUE(window->lines().use.programmingWorkerRunning());
  delete window;  // without asking: the program is going
  window = nullptr;
  EXPECT_TRUE(tv::ui_queue().empty());                   // the worker's end ran before the widgets went
  window = new X_SRV_K_Window(testsupport::test_app());  // for TearDown
  window->create();
}

TEST(GuiBurnSink, ReportsReachTheGuiThreadInOrderOnlyWhenDrainedAndOutliveTheSink) {
  tv::UiQueue queue;
  std::vector<std::string> seen;
  {
    tv::GuiBurnSink::Handlers handlers;
    handlers.log = [&](const std::string& text, int style) { seen.push_back(text + std::to_string(style)); };
    handlers.progress = [&](int percent) { seen.push_back("p" + std::to_string(percent)); };
    handlers.done = [&](bool ok) { seen.push_back(ok ? "ok" : "failed"); };
    tv::GuiBurnSink sink(handlers, queue);
    sink.log("a", 2);
    sink.progress(40);
    sink.log("b", 7);
    sink.done(false);
    EXPECT_TRUE(seen.empty());
  }
  EXPECT_EQ(queue.drain(), 4);
  EXPECT_EQ(seen, (std::vector<std::string>{"a2", "p40", "b7", "failed"}));
}

}  // namespace

namespace {

// One job owns the progress bar: the control line is refused while a burn
// runs, and a burn while a control exchange runs, each with an error box.
TEST_F(BurnGui, BurnAndControlExchangeNeverRunTogether) {
  tv::set_pause_scale_percent(1);
  ASSERT_EQ(tv::xs_open(window->lines().control, 5), tv::kOpened);
  load(writeGenerated(small_options(), false, "chipset.hv"));
  command(tv::ID_BURN);
  ASSERT_TRUE(page().burnRunning());
  for (FXSelector id : {tv::ID_CONTROL_QUERY, tv::ID_LINE_TEST}) command(id);
  EXPECT_FALSE(window->console().controlExchangeRunning());
  EXPECT_EQ(boxesCaptioned("Error"), 2);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return boxesCaptioned(kDone) > 0; }, kBurnDeadlineMs));
  EXPECT_EQ(sim_.stats().control_frames, 0u);
  EXPECT_TRUE(sim_.control_received().empty()) << "nothing went out on the control line";

  tv::set_pause_scale_percent(10);  // a wake-up of 6 s: long enough to try a burn in it
  command(tv::ID_CONTROL_QUERY);
  ASSERT_TRUE(window->console().controlExchangeRunning());
  const size_t logBefore = logLines().size();
  command(tv::ID_BURN);
  command(tv::ID_RECALL);
  EXPECT_FALSE(page().burnRunning());
  EXPECT_EQ(boxesCaptioned("Error"), 4);
  EXPECT_EQ(logLines().size(), logBefore) << "the refused burn left the log alone";
  window->console().cancelControlExchange();
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !window->console().controlExchangeRunning(); }, 30000));
  command(tv::ID_BURN);  // free again
  EXPECT_TRUE(page().burnRunning());
  window->burn().cancelAndJoinBurn();
}

// A burn without a programming port does not start: the log says why, in red.
TEST_F(BurnGui, BurnWithoutAPortSaysWhyInRed) {
  load(writeGenerated(small_options(), false, "chipset.hv"));
  window->ports().apply("com9");  // nothing there
  ASSERT_FALSE(window->lines().programming.is_open());
  command(tv::ID_BURN);
  EXPECT_FALSE(page().burnRunning());
  const std::string why =
      "No such device: " + box_.dir().file("com9") + ". The programming port did not open (com9).";
  ASSERT_EQ(logLines(), std::vector<std::string>{why});
  EXPECT_EQ(styleOfLine(0), tv::kStyleRed);
  EXPECT_EQ(sim_.stats().pic_records, 0u);
}

}  // namespace

namespace {

// Stop in the burn button's place, and Esc: the burn ends at its next packet
// within a second, with the closing four-Z line, a red line saying where, the
// status line saying the same and no failure box; the page is usable again.
// On the way the status line names the stage and the protocol's wait.
TEST_F(BurnGui, StopAndEscEndABurnMidFlashWithinASecondAndSayWhere) {
  chipsetgen::Options options = small_options();
  options.flash_bytes = 0x4000;
  load(writeGenerated(options, false, "chipset.hv"));
  boxsim::Faults faults;
  faults.pace = true;  // the box's own pace: the flash takes seconds
  sim_.set_faults(faults);
  window->flashDelay = 3;

  for (const bool by_escape : {false, true}) {
    SCOPED_TRACE(by_escape ? "Esc" : "Stop");
    const int zBefore = fourZLines();
    command(tv::ID_BURN);
    ASSERT_TRUE(page().stopButton->shown());
    EXPECT_FALSE(page().burnButton->shown());
    EXPECT_TRUE(statusMatches("PIC [0-9]+%  (about [0-9]+:[0-5][0-9] left  )?0:0[0-9]")) << statusText();
    ASSERT_TRUE(
        testsupport::run_gui_until([&] { return statusText().rfind("waiting", 0) == 0; }, kBurnDeadlineMs))
        << statusText();
    EXPECT_TRUE(statusMatches("waiting [1-3] s before the flash")) << statusText();
    // The bar shows the stage's own percent, as the status line does.
    ASSERT_TRUE(testsupport::run_gui_until(
        [&] { return statusText().rfind("FLASH", 0) == 0 && window->progressBar->getProgress() >= 20; },
        kBurnDeadlineMs));
    testsupport::run_gui_until([] { return false; }, 300);  // one tick of the status clock
    EXPECT_TRUE(statusMatches("FLASH [0-9]+%  (about [0-9]+:[0-5][0-9] left  )?[0-9]:[0-5][0-9]"))
        << statusText();

    const int64_t pressed = tv::monotonic_ms();
    if (by_escape) {
      FXEvent key;
      key.type = SEL_KEYPRESS;
      key.code = KEY_Escape;
      key.state = 0;
      window->handle(window, FXSEL(SEL_KEYPRESS, 0), &key);
    } else {
      window->handle(page().stopButton, FXSEL(SEL_COMMAND, tv::ID_STOP_BURN), nullptr);
    }
    ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().burnRunning(); }, 5000));
    EXPECT_LT(tv::monotonic_ms() - pressed, 1000);
    EXPECT_TRUE(testsupport::wait_for([&] { return fourZLines() == zBefore + 2; }, 2000));

    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "Burning cancelled.");
    const std::string& where = lines[lines.size() - 2];
    EXPECT_TRUE(std::regex_match(where, std::regex("The burn was stopped in FLASH at [0-9A-F]{4}\\.")))
        << where;
    EXPECT_EQ(styleOfLine(int(lines.size()) - 2), tv::kStyleBoldRed);
    EXPECT_EQ("Burn stopped in " + where.substr(24, 13), statusText());
    testsupport::pump_gui();
    EXPECT_EQ(boxesCaptioned(kDone), 0);
    EXPECT_TRUE(page().burnButton->shown());
    EXPECT_FALSE(page().stopButton->shown());
    expectIdleAfterBurn();
  }
}

}  // namespace

namespace {

// A file without a section the burn needs: the burn button stays grey and one
// red line says which sections are missing.
TEST_F(BurnGui, MissingSectionsAreNamedInRed) {
  const std::string text = chipsetgen::generate(small_options()).text;
  const size_t osd = text.find("***OSD>"), font = text.find("***OSD Font>");
  ASSERT_NE(osd, std::string::npos);
  ASSERT_NE(font, std::string::npos);
  const struct {
    std::string file;
    const char* line;
  } cases[] = {
      {text.substr(0, osd), "This file has no OSD, OSD Font sections: it cannot be burned"},
      {text.substr(0, osd) + text.substr(font), "This file has no OSD section: it cannot be burned"},
  };
  for (const auto& c : cases) {
    load(writeText(c.file, "cut.hv"));
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.line);
    EXPECT_EQ(styleOfLine(int(lines.size()) - 1), tv::kStyleBoldRed);
    EXPECT_FALSE(testsupport::usable(page().burnButton));
  }
}

}  // namespace

namespace {

using testsupport::only_reads;

std::string file_text(const std::string& path) {
  std::ifstream file(path);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The records of one section of a chipset file equal the first 64 KiB of a
// memory, address by address, and cover all of it.
::testing::AssertionResult records_equal(const tv::LoadedChipset& file, tv::Section stage,
                                         const std::vector<uint8_t>& memory) {
  const tv::WrittenImage records = tv::image_to_burn(file, stage);
  if (records.byte_count() != tv::kReadBackSpan)
    return ::testing::AssertionFailure() << records.byte_count() << " bytes in the records";
  for (int address = 0; address < tv::kReadBackSpan; ++address)
    if (records.value(address) != memory[size_t(address)])
      return ::testing::AssertionFailure() << "differs at " << address;
  return ::testing::AssertionSuccess();
}

class ReadBackGui : public BurnGui {
 protected:
  FXMenuCommand* backupEntry() {
    for (FXWindow* child = window->menuPane->getFirst(); child; child = child->getNext())
      if (child->getSelector() == tv::ID_BACKUP) return dynamic_cast<FXMenuCommand*>(child);
    return nullptr;
  }
  // Starts a compare or a backup and runs the GUI until its worker ended.
  bool runUntilEnded(FXSelector id) {
    command(id);
    return page().burnRunning() &&
           testsupport::run_gui_until([&] { return !page().burnRunning(); }, kBurnDeadlineMs);
  }
  std::string savedLog() { return file_text(saved_path_of(savedLogLine_)); }
};

// A box just burned compares equal; one whose flash stored a byte wrong is
// named in red with that byte's address. Neither compare writes to the box,
// and neither shows the burn's completion box.
TEST_F(ReadBackGui, CompareFindsAJustBurnedBoxEqualAndNamesTheWrongFlashByte) {
  tv::set_pause_scale_percent(1);
  load(writeGenerated(small_options(), false, "chipset.hv"));
  ASSERT_TRUE(burnUntilBox());
  ASSERT_TRUE(testsupport::usable(page().compareButton));
  sim_.clear_received();
  ASSERT_TRUE(runUntilEnded(tv::ID_COMPARE));
  EXPECT_TRUE(only_reads(sim_.received()));
  std::vector<std::string> lines = logLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "The box matches the file.");
  EXPECT_EQ(styleOfLine(int(lines.size()) - 1), tv::kStyleBoldGreen);
  EXPECT_TRUE(statusMatches("Matches the file: compare took [0-9]+:[0-5][0-9]")) << statusText();
  EXPECT_EQ(savedLog().rfind("TV Box compare log", 0), 0u) << savedLog();
  EXPECT_EQ(savedLogLine_.rfind(kReadLogSaved, 0), 0u) << savedLogLine_;  // a compare is no burn
  EXPECT_NE(savedLog().find("Outcome:  OK"), std::string::npos) << savedLog();
  expectIdleAfterBurn();

  boxsim::Faults faults;
  faults.wrong_flash_byte = 0x0123;
  sim_.set_faults(faults);
  ASSERT_TRUE(burnUntilBox());
  sim_.clear_received();
  ASSERT_TRUE(runUntilEnded(tv::ID_COMPARE));
  EXPECT_TRUE(only_reads(sim_.received()));
  lines = logLines();
  const auto differs = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("FLASH differs from the file: 1 byte differs, first at 0x0123 (file ", 0) == 0;
  });
  ASSERT_NE(differs, lines.end()) << lines.back();
  EXPECT_EQ(styleOfLine(int(differs - lines.begin())), tv::kStyleBoldRed);
  EXPECT_EQ(lines.back(), "The box differs from the file.");
  EXPECT_TRUE(statusMatches("DIFFERS from the file: compare took [0-9]+:[0-5][0-9]")) << statusText();
  EXPECT_NE(savedLog().find("Outcome:  FAILED"), std::string::npos) << savedLog();
  EXPECT_EQ(boxesCaptioned(kDone), 2);  // the two burns' boxes only
}

// The File menu's backup: a save dialog with a name from the date; a backup
// stopped midway leaves no file under the name; a whole one holds the box's
// flash and OSD memory exactly, in a file that loads cleanly.
TEST_F(ReadBackGui, BackupSavesTheBoxIntoTheChosenFileAndAStoppedOneLeavesNone) {
  boxsim::Faults faults;
  faults.old_contents = true;
  faults.answer_delay_ms = 1;  // slow enough to be stopped on the way
  sim_.set_faults(faults);
  const boxsim::Memories original = sim_.memories();
  const std::string backup = box_.dir().file("box.hv");
  dialogAnswer_ = backup;
  ASSERT_TRUE(testsupport::usable(backupEntry()));
  command(tv::ID_BACKUP);
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_TRUE(dialogs_[0].save);
  const std::regex dated(".*/tvbox-backup-20[0-9]{2}-[01][0-9]-[0-3][0-9]-[0-2][0-9][0-5][0-9]\\.hv");
  EXPECT_TRUE(std::regex_match(dialogs_[0].file_name, dated)) << dialogs_[0].file_name;
  ASSERT_TRUE(page().burnRunning());
  EXPECT_FALSE(testsupport::usable(backupEntry()));
  ASSERT_TRUE(
      testsupport::run_gui_until([&] { return window->progressBar->getProgress() >= 5; }, kBurnDeadlineMs));
  command(tv::ID_STOP_BURN);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().burnRunning(); }, 10000));
  EXPECT_TRUE(statusMatches("Backup stopped in FLASH at [0-9A-F]{4}")) << statusText();
  EXPECT_FALSE(FXStat::exists(backup.c_str()));

  faults.answer_delay_ms = 0;
  sim_.set_faults(faults);
  sim_.clear_received();
  ASSERT_TRUE(runUntilEnded(tv::ID_BACKUP));
  EXPECT_TRUE(only_reads(sim_.received()));
  EXPECT_EQ(logLines().back(), "Backup saved to " + backup);
  EXPECT_TRUE(statusMatches("Backup completed in [0-9]+:[0-5][0-9]")) << statusText();
  const tv::LoadedChipset saved = tv::load_chipset(backup);
  EXPECT_TRUE(saved.opened && tv::chipset_clean(saved));
  EXPECT_TRUE(records_equal(saved, tv::Section::Flash, original.flash));
  EXPECT_TRUE(records_equal(saved, tv::Section::Osd, original.osd));
  EXPECT_EQ(savedLog().rfind("TV Box backup log", 0), 0u) << savedLog();
  EXPECT_TRUE(testsupport::usable(backupEntry()));
}

// While a burn holds the programming port, Compare and the backup are grey,
// and their commands (a key, a stray message) start nothing and say why;
// while a control exchange runs they are grey as well.
TEST_F(ReadBackGui, CompareAndBackupAreRefusedWhileABurnRuns) {
  window->flashDelay = 600;  // the burn sits in the pause after the PIC stage
  load(writeGenerated(small_options(), false, "chipset.hv"));
  EXPECT_TRUE(testsupport::usable(page().compareButton));
  command(tv::ID_BURN);
  ASSERT_TRUE(page().burnRunning());
  EXPECT_FALSE(testsupport::usable(page().compareButton));
  EXPECT_FALSE(testsupport::usable(backupEntry()));
  dialogAnswer_ = box_.dir().file("box.hv");
  command(tv::ID_COMPARE);
  command(tv::ID_BACKUP);
  EXPECT_TRUE(dialogs_.size() == 1u) << "no save dialog";
  EXPECT_EQ(boxesCaptioned("Error"), 2);
  EXPECT_NE(messages_.back().text.find("programming port is in use"), std::string::npos)
      << messages_.back().text;
  for (const std::string& line : logLines())  // the burn's log is left alone
    EXPECT_TRUE(line.rfind("Compare", 0) != 0 && line.rfind("Backup", 0) != 0) << line;
  EXPECT_EQ(logLines().front(), "Burning PIC...");
  page().cancelAndJoinBurn();
  EXPECT_TRUE(testsupport::usable(page().compareButton));

  // The rule of the port decides for a control exchange just as well.
  window->lines().use.setControlExchange(true);
  EXPECT_FALSE(testsupport::usable(page().compareButton));
  EXPECT_FALSE(testsupport::usable(backupEntry()));
  window->lines().use.setControlExchange(false);
}

// Resume beside the burn button after a stop: the burn goes on from the
// saved log on the same loaded file, sends no PIC record, leaves the finished
// flash sectors alone and leaves the box exact. A new load hides it.
TEST_F(BurnGui, ResumeAfterAStopMidFlashFinishesTheBoxExactly) {
  chipsetgen::Options options = small_options();
  options.flash_bytes = 0x4000;
  const std::string path = writeGenerated(options, false, "chipset.hv");
  load(path);
  EXPECT_FALSE(page().resumeButton->shown());
  boxsim::Faults paced;
  paced.pace = true;  // the flash takes seconds
  sim_.set_faults(paced);
  command(tv::ID_BURN);
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] { return statusText().rfind("FLASH", 0) == 0 && window->progressBar->getProgress() >= 60; },
      kBurnDeadlineMs));
  window->handle(page().stopButton, FXSEL(SEL_COMMAND, tv::ID_STOP_BURN), nullptr);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().burnRunning(); }, 5000));
  ASSERT_TRUE(page().resumeButton->shown());
  EXPECT_TRUE(page().burnButton->shown());
  const std::string stopLine = logLines().at(logLines().size() - 2);

  sim_.set_faults(boxsim::Faults());
  const boxsim::Stats before = sim_.stats();
  EXPECT_TRUE(burnUntilBox(tv::ID_RESUME_BURN));
  EXPECT_EQ(boxesCaptioned("Error"), 0);
  const boxsim::Stats after = sim_.stats();
  EXPECT_EQ(after.pic_records, before.pic_records);
  EXPECT_LE(after.sector_erases - before.sector_erases, 2u) << stopLine;
  expectImagesMatch();
  // It made sure the box is the one the stopped burn wrote to, then said
  // what it skips.
  const std::vector<std::string> lines = allLogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("Reading back ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("The box holds what that burn wrote: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("Resuming the burn: done before: PIC; FLASH again from the sector at ", 0), 0u)
      << lines[2];
  EXPECT_FALSE(page().resumeButton->shown());  // it ended well
  expectIdleAfterBurn();

  // Stopped once more, then the file is loaded again: what the stopped burn
  // owed is no longer the question, and Resume goes.
  sim_.set_faults(paced);
  command(tv::ID_BURN);
  ASSERT_TRUE(
      testsupport::run_gui_until([&] { return statusText().rfind("FLASH", 0) == 0; }, kBurnDeadlineMs));
  window->handle(page().stopButton, FXSEL(SEL_COMMAND, tv::ID_STOP_BURN), nullptr);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().burnRunning(); }, 5000));
  ASSERT_TRUE(page().resumeButton->shown());
  load(path);
  EXPECT_FALSE(page().resumeButton->shown());
}

}  // namespace
