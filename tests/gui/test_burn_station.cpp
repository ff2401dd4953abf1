// The burn tab as a station of four boxes, through the real window against
// four box simulators on pseudo-terminals: boxes are added by port (a port
// already in a row, or one with nothing behind it, is refused with the
// reason), Burn all burns every box exactly while one row's Stop stops only
// its own box mid-flash and one box that vanishes mid-burn is reopened by its
// row while the others burn on; each row's Resume finishes its box exactly;
// Compare all finds the one box that was changed since; a row's Back up reads
// its box into a file; Save keeps the boxes' ports.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/read_back.h"
#include "burn/settings_keys.h"
#include "dbkit/FXMessageSeam.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "shell/box_row.h"
#include "shell/burn_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/line_keeper.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "station/station.h"
#include "support/box_images.h"
#include "support/fox_app.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

using namespace FX;

namespace {

constexpr int kDeadlineMs = 300000;
const char* const kPorts[4] = {"com3", "com4", "com6", "com7"};
const char* const kControls[4] = {"com5", "com14", "com16", "com17"};
constexpr int kStopped = 1;   // the row whose Stop is pressed mid-flash
constexpr int kVanishes = 2;  // the box whose line goes away mid-flash

class BurnStation : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    for (int i = 0; i < 4; ++i) {
      sims_[i].reset(new boxsim::BoxSimulator);
      startSim(i);
    }
    tv::set_message_hook([this](const tv::MessageRecord& record) {
      messages_.push_back(record);
      return FXuint(MBOX_CLICKED_OK);
    });
    tv::set_file_dialog_hook([this](const tv::FileDialogRequest&, std::string* chosen) {
      *chosen = dialogAnswer_;
      return true;
    });
    window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
    window->resize(800, 600);
    window->ports().apply(kPorts[0]);  // as Save would: the first box's keeper opens it
    ASSERT_TRUE(window->lines().programming.is_open());
    window->flashDelay = 0;
    window->sysfontDelay = 0;
    page().verify = FALSE;
  }

  void TearDown() override {
    delete window;
    tv::set_message_hook({});
    tv::set_file_dialog_hook({});
    for (auto& sim : sims_) sim->stop();
  }

  void startSim(int i) {
    std::string error;
    ASSERT_TRUE(sims_[i]->start(dir_.path(), &error, kPorts[i], kControls[i])) << error;
  }

  tv::BurnPage& page() { return window->burn(); }
  tv::BoxRow& row(int i) { return *page().rows()[size_t(i)]; }
  tv::PortStatus status(int i) { return row(i).box().status(); }
  void command(FXSelector id) { window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr); }
  void press(FXWindow* button) {
    button->getTarget()->handle(button, FXSEL(SEL_COMMAND, button->getSelector()), nullptr);
  }
  std::string statusText() const { return window->statusBar->getStatusLine()->getNormalText().text(); }
  bool lampGreen(int i) { return row(i).lamp->getIcon() == window->icons().lampGreen; }
  bool idle() { return !page().burnRunning(); }
  bool othersBusy(int except) {
    for (int i = 0; i < 4; ++i)
      if (i != except && row(i).box().busy()) return true;
    return false;
  }

  void loadGenerated() {
    chipsetgen::Options options;
    options.seed = 23;
    options.pic_bytes = 300;
    options.flash_bytes = 0x8000;  // 8 sectors: long enough to be stopped in
    options.osd_bytes = 0x800;
    options.glyphs = 8;
    generated_ = chipsetgen::generate(options);
    const std::string path = dir_.file("station.hv");
    std::string error;
    ASSERT_TRUE(chipsetgen::write_chipset(path, generated_.text, false, &error)) << error;
    dialogAnswer_ = path;
    command(tv::ID_OPEN_CHIPSET);
    ASSERT_TRUE(testsupport::usable(page().burnButton));
  }

  ::testing::AssertionResult exact(int i) {
    return testsupport::box_holds(sims_[i]->memories(), generated_.images);
  }

  testsupport::TempDir dir_{"station"};
  testsupport::ScopedEnv portDir_{"TVBOX_PORT_DIR", dir_.path().c_str()};
  std::unique_ptr<boxsim::BoxSimulator> sims_[4];
  X_SRV_K_Window* window = nullptr;
  std::vector<tv::MessageRecord> messages_;
  std::string dialogAnswer_;
  chipsetgen::Generated generated_;
};

TEST_F(BurnStation, FourBoxesBurnStopResumeComeBackCompareAndBackUpFromOneWindow) {
  // Adding boxes: the same port twice, or a port with nothing behind it, is
  // refused with the reason; the one-box tab becomes a station of rows.
  EXPECT_FALSE(page().rowsFrame->shown());
  FXString why;
  for (int i = 1; i < 4; ++i) ASSERT_TRUE(page().addBox(kPorts[i], &why)) << why.text();
  EXPECT_FALSE(page().addBox("com4", &why));
  EXPECT_NE(why.find("com4"), -1) << why.text();
  EXPECT_FALSE(page().addBox("com9", &why));
  EXPECT_EQ(why.find("No such device"), 0) << why.text();
  ASSERT_EQ(page().rows().size(), 4u);
  EXPECT_TRUE(page().rowsFrame->shown());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(lampGreen(i)) << kPorts[i];
  EXPECT_FALSE(page().mayRemove(row(0))) << "the first box stays";

  loadGenerated();
  boxsim::Faults faults;
  faults.vanish_after_flash_writes = 300;
  sims_[kVanishes]->set_faults(faults);

  command(tv::ID_BURN);  // Burn all
  ASSERT_TRUE(page().burnRunning());
  EXPECT_TRUE(page().stopButton->shown());
  EXPECT_EQ(page().stopButton->getWidth(), page().burnButton->getWidth())
      << "Stop takes Burn's place and size";
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(row(i).box().busy()) << kPorts[i];
  EXPECT_FALSE(page().mayRemove(row(1))) << "not while it runs";
  // While a job runs, the buttons under the pointer leave the status line
  // to the job: their help texts do not hide its figures.
  EXPECT_EQ(window->handle(page().stopButton, FXSEL(SEL_QUERY_HELP, tv::ID_STOP_BURN), nullptr), 1);

  // One row's Stop, mid-flash: only its box stops.
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] { return status(kStopped).stage == "FLASH" && status(kStopped).percent >= 10; }, kDeadlineMs));
  EXPECT_TRUE(std::regex_match(statusText(), std::regex("[1-4] of 4 boxes burning.*"))) << statusText();
  press(row(kStopped).stopButton);

  // The vanished box fails in its row; plugged back, its row reopens it
  // while the others still burn.
  ASSERT_TRUE(testsupport::run_gui_until([&] { return status(kVanishes).state == tv::BoxState::Failed; },
                                         kDeadlineMs));
  EXPECT_EQ(status(kStopped).state, tv::BoxState::Cancelled);
  EXPECT_TRUE(othersBusy(kStopped));
  EXPECT_TRUE(page().mayResume(row(kStopped))) << "the other boxes' burns do not hold its Resume";
  EXPECT_FALSE(lampGreen(kVanishes));
  EXPECT_NE(std::string(row(kVanishes).stage->getTipText().text()).find("lost"), std::string::npos)
      << "the row's tip names the failure";
  const boxsim::Memories heldSoFar = sims_[kVanishes]->memories();
  sims_[kVanishes]->stop();
  sims_[kVanishes].reset(new boxsim::BoxSimulator);
  startSim(kVanishes);
  sims_[kVanishes]->set_memories(heldSoFar);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return lampGreen(kVanishes); }, 2 * tv::kPortRetryMs + 1000));
  EXPECT_TRUE(othersBusy(kVanishes)) << "the row reopened its box while the others burned";

  ASSERT_TRUE(testsupport::run_gui_until([&] { return idle(); }, kDeadlineMs));
  EXPECT_TRUE(exact(0));
  EXPECT_TRUE(exact(3));
  EXPECT_FALSE(exact(kStopped));
  EXPECT_TRUE(std::regex_match(statusText(), std::regex("4 boxes, 1 failed, 1 stopped, 2 done")))
      << statusText();
  // One box for the round, naming the box that failed and what to do.
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !messages_.empty(); }, 2000));
  EXPECT_NE(messages_.back().text.find(kPorts[kVanishes]), std::string::npos) << messages_.back().text;
  EXPECT_NE(messages_.back().text.find("Resume"), std::string::npos) << messages_.back().text;

  // Each row's Resume finishes its own box exactly.
  ASSERT_TRUE(testsupport::usable(row(kStopped).resumeButton));
  ASSERT_TRUE(testsupport::usable(row(kVanishes).resumeButton));
  EXPECT_FALSE(testsupport::usable(row(0).resumeButton)) << "nothing to resume on a box that is done";
  press(row(kStopped).resumeButton);
  press(row(kVanishes).resumeButton);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return idle(); }, kDeadlineMs));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(exact(i)) << kPorts[i];
  EXPECT_FALSE(row(kStopped).savedLogPath.empty());

  EXPECT_EQ(window->handle(page().stopButton, FXSEL(SEL_QUERY_HELP, tv::ID_STOP_BURN), nullptr), 0)
      << "idle, the help texts are back";

  // Compare all: the one box changed since differs, the others match.
  boxsim::Memories changed = sims_[3]->memories();
  changed.flash[0x100] ^= 0x01;
  sims_[3]->set_memories(changed);
  command(tv::ID_COMPARE);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return idle(); }, kDeadlineMs));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(status(i).state, tv::BoxState::Ok) << kPorts[i];
  EXPECT_EQ(status(3).state, tv::BoxState::Failed);
  EXPECT_TRUE(std::regex_match(statusText(), std::regex("4 boxes, 1 failed, 3 done"))) << statusText();

  // One row's Back up reads its own box into the chosen file.
  dialogAnswer_ = dir_.file("box2.hv");
  press(row(2).backupEntry);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return idle(); }, kDeadlineMs));
  const tv::LoadedChipset saved = tv::load_chipset(dialogAnswer_);
  ASSERT_TRUE(saved.opened && tv::chipset_clean(saved));
  const tv::WrittenImage flash = tv::image_to_burn(saved, tv::Section::Flash);
  for (int address = 0; address < 0x8000; address += 0x7F)
    ASSERT_EQ(flash.value(address), generated_.images.flash[size_t(address)]) << address;

  // Save keeps the station's ports, the first under "comm" as always.
  window->comPort = kPorts[0];
  command(tv::ID_SAVE_SETTINGS);
  FXRegistry& registry = testsupport::test_app()->reg();
  EXPECT_STREQ(registry.readStringEntry(tv::kSettingsSectionName, tv::kBoxPortsKey, ""),
               "com3,com4,com6,com7");
  EXPECT_STREQ(registry.readStringEntry(tv::kSettingsSectionName, tv::kPortKey, ""), "com3");

  // A box that is idle can be taken off; the tab is the one-box tab again
  // when only the first is left.
  for (int i = 3; i >= 1; --i) ASSERT_TRUE(page().removeBox(row(i)));
  EXPECT_FALSE(page().rowsFrame->shown());
  EXPECT_TRUE(page().burnButton->getText().find("Burn all") < 0);
}

}  // namespace
