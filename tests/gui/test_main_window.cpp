// The main window as start-up builds it: title and tabs from the catalogue,
// tab visibility, the burn page's initial states, the settings and console
// values bound to their widgets, Save, the about box, the help command and the
// worker-to-GUI path of the progress bar.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "dbkit/FXMessageSeam.h"
#include "shell/burn_page.h"
#include "shell/console_page.h"
#include "shell/desktop_open.h"
#include "shell/gui_control_sink.h"
#include "shell/main_window.h"
#include "shell/settings_page.h"
#include "shell/ui_queue.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "support/fox_app.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "text/catalogue.h"

using namespace FX;

namespace {

// A small English language file of our own, so the captions are known here.
// Written once per run; the folder goes when the program ends.
std::string write_language_file() {
  static const testsupport::TempDir dir("window-lang");
  const std::string path = dir.file("lang.en");
  std::ofstream(path, std::ios::binary) << "m_Title=Box Tool\n"
                                           "hv_load=Burn\n"
                                           "hv_channels=Channels\n"
                                           "hv_actions=Console\n"
                                           "hv_settings=Settings\n"
                                           "m_about_f=About~this\n"
                                           "comm_sw=Port\n";
  return path;
}

std::string text_of(const FXString& s) { return std::string(s.text()); }

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const std::string language_file = write_language_file();
    tv::reset_catalogue_for_tests();
    tv::set_language_file(language_file.c_str());
    window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
  }
  void TearDown() override {
    tv::set_message_hook({});
    delete window;
    tv::reset_catalogue_for_tests();
  }

  // Lets the data targets bring every widget up to date with its value.
  void refreshWidgets() {
    window->forceRefresh();
    testsupport::pump_gui();
  }

  long send(FXObject* target, FXSelector type, FXSelector id, void* data = nullptr) {
    return target->handle(nullptr, FXSEL(type, id), data);
  }

  X_SRV_K_Window* window = nullptr;
};

TEST_F(MainWindowTest, TitleTabsAndTheirOrderComeFromTheCatalogue) {
  EXPECT_EQ(text_of(window->getTitle()), "Box Tool");
  EXPECT_EQ(text_of(window->logoButton->getTipText()), "Box Tool");
  EXPECT_EQ(text_of(window->portIndicator->getText()), "Port");

  const std::vector<std::string> expected = {"TV Box", "Burn", "Channels", "FM Radio", "Console", "Settings"};
  std::vector<std::string> labels;
  for (FXWindow* child = window->tabBook->getFirst(); child; child = child->getNext()) {
    if (auto* tab = dynamic_cast<FXTabItem*>(child)) labels.push_back(text_of(tab->getText()));
  }
  EXPECT_EQ(labels, expected);
  std::vector<FXTabItem*> items = {window->titleTab, window->burnTab,    window->channelsTab,
                                   window->radioTab, window->consoleTab, window->settingsTab};
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(window->tabBook->indexOfChild(items[i]), static_cast<FXint>(2 * i)) << i;
  }
  EXPECT_FALSE(testsupport::usable(window->channelsTab));
  EXPECT_FALSE(testsupport::usable(window->radioTab));
  EXPECT_TRUE(testsupport::usable(window->consoleTab));
}

TEST_F(MainWindowTest, StartupHidesChannelTabsAndTheConsoleUnlessAsked) {
  window->tabBook->setCurrent(4);  // the console, about to be hidden
  window->hideStartupTabs(false);
  for (FXTabItem* tab : {window->channelsTab, window->radioTab, window->consoleTab}) {
    EXPECT_FALSE(tab->shown());
    EXPECT_FALSE(tab->getNext()->shown());
  }
  for (FXTabItem* tab : {window->titleTab, window->burnTab, window->settingsTab}) {
    EXPECT_TRUE(tab->shown());
  }
  EXPECT_EQ(window->tabBook->getCurrent(), 0);

  window->hideStartupTabs(true);
  EXPECT_TRUE(window->consoleTab->shown());
  EXPECT_TRUE(window->consoleTab->getNext()->shown());
  EXPECT_FALSE(window->channelsTab->shown());
  EXPECT_FALSE(window->radioTab->shown());
}

TEST_F(MainWindowTest, BurnPageStartsWithOnlyOpenUsable) {
  tv::BurnPage& burn = window->burn();
  const char* names[] = {"Header", "PIC", "Flash", "OSD", "OSD RusFont", "OSD SysFont"};
  for (int i = 0; i < tv::kSectionCount; ++i) {
    EXPECT_EQ(text_of(burn.sectionChecks[i]->getText()), names[i]);
    EXPECT_FALSE(testsupport::usable(burn.sectionChecks[i])) << names[i];
    EXPECT_FALSE(burn.sectionChecks[i]->getCheck());
  }
  EXPECT_TRUE(testsupport::usable(burn.openButton));
  EXPECT_FALSE(testsupport::usable(burn.burnButton));
  EXPECT_TRUE(burn.burnButton->shown());
  EXPECT_FALSE(testsupport::usable(burn.recallButton));
  EXPECT_FALSE(burn.recallButton->shown());
  EXPECT_EQ(burn.openButton->getSelector(), static_cast<FXSelector>(tv::ID_OPEN_CHIPSET));
  EXPECT_EQ(burn.burnButton->getSelector(), static_cast<FXSelector>(tv::ID_BURN));
  EXPECT_EQ(burn.recallButton->getSelector(), static_cast<FXSelector>(tv::ID_RECALL));
  EXPECT_TRUE(burn.chipsetPath.empty());
}

TEST_F(MainWindowTest, BurnLogKeepsTheStyleOfEveryLine) {
  tv::BurnPage& burn = window->burn();
  const FXHiliteStyle* styles = burn.log->getHiliteStyles();
  EXPECT_EQ(styles[tv::kStyleBold - 1].normalForeColor, FXRGB(0, 0, 0));
  EXPECT_EQ(styles[tv::kStyleBold - 1].style, static_cast<FXuint>(FXText::STYLE_BOLD));
  EXPECT_EQ(styles[tv::kStyleGreen - 1].normalForeColor, FXRGB(0, 190, 0));
  EXPECT_EQ(styles[tv::kStyleUnderlinedRed - 1].normalForeColor, FXRGB(255, 0, 0));
  EXPECT_EQ(styles[tv::kStyleUnderlinedRed - 1].style, static_cast<FXuint>(FXText::STYLE_UNDERLINE));
  for (int i = 0; i < tv::kLogStyleCount; ++i) {
    EXPECT_EQ(styles[i].normalBackColor, FXRGB(255, 255, 255)) << i;
    EXPECT_EQ(styles[i].selectForeColor, FXRGB(192, 192, 0)) << i;
  }

  burn.appendLog("PIC 12\n", tv::kStyleBlue);
  burn.appendLog("failed\n", tv::kStyleBoldRed);
  EXPECT_EQ(text_of(burn.log->getText()), "PIC 12\nfailed\n");
  EXPECT_EQ(burn.log->getStyle(0), tv::kStyleBlue);
  EXPECT_EQ(burn.log->getStyle(7), tv::kStyleBoldRed);
  EXPECT_EQ(burn.log->getCursorPos(), burn.log->getLength());
  burn.clearLog();
  EXPECT_EQ(burn.log->getLength(), 0);
}

TEST_F(MainWindowTest, DelaySpinnersWrapAroundAtTheirEnds) {
  tv::SettingsPage& page = window->settings();
  window->flashDelay = 20;
  window->sysfontDelay = 6;
  refreshWidgets();
  ASSERT_EQ(page.flashDelaySpinner->getValue(), 20);
  send(page.flashDelaySpinner, SEL_COMMAND, FXSpinner::ID_INCREMENT);
  EXPECT_EQ(page.flashDelaySpinner->getValue(), 3);
  EXPECT_EQ(window->flashDelay, 3);

  ASSERT_EQ(page.sysfontDelaySpinner->getValue(), 6);
  send(page.sysfontDelaySpinner, SEL_COMMAND, FXSpinner::ID_DECREMENT);
  EXPECT_EQ(page.sysfontDelaySpinner->getValue(), 30);
  EXPECT_EQ(window->sysfontDelay, 30);
}

TEST_F(MainWindowTest, SettingsWidgetsAndValuesAgreeBothWays) {
  tv::SettingsPage& page = window->settings();
  EXPECT_EQ(text_of(page.comCombo->getText()), "com3");
  EXPECT_EQ(text_of(page.languageCombo->getText()), "ENGLISH en");
  EXPECT_EQ(page.comCombo->getNumItems(), 7);
  EXPECT_EQ(page.languageCombo->getNumItems(), 3);

  page.comCombo->setCurrentItem(6, TRUE);  // as a choice from the list
  EXPECT_EQ(text_of(window->comPort), "com7");
  page.languageCombo->setCurrentItem(2, TRUE);
  EXPECT_EQ(text_of(window->language), "RUSSIAN_KOI8 r8");

  window->comPort = "com1";
  window->language = "RUSSIAN ru";
  window->flashDelay = 11;
  window->sysfontDelay = 25;
  refreshWidgets();
  EXPECT_EQ(text_of(page.comCombo->getText()), "com1");
  EXPECT_EQ(text_of(page.languageCombo->getText()), "RUSSIAN ru");
  EXPECT_EQ(page.flashDelaySpinner->getValue(), 11);
  EXPECT_EQ(page.sysfontDelaySpinner->getValue(), 25);
}

TEST_F(MainWindowTest, ConsoleFieldsStartWithTheirValuesAndLists) {
  tv::ConsolePage& page = window->console();
  EXPECT_EQ(text_of(page.slaveAdrText), "FE Граф.процессор QRMZP5L");
  EXPECT_EQ(text_of(page.adrText), "07");
  EXPECT_TRUE(page.cmdText.empty());
  EXPECT_TRUE(page.dataText.empty());
  refreshWidgets();
  EXPECT_EQ(text_of(page.slaveAdrCombo->getText()), "FE Граф.процессор QRMZP5L");
  EXPECT_EQ(text_of(page.adrCombo->getText()), "07");

  EXPECT_EQ(page.slaveAdrCombo->getNumItems(), 7);
  EXPECT_EQ(text_of(page.slaveAdrCombo->getItem(0)), "com1");
  EXPECT_EQ(page.slaveAdrCombo->getNumVisible(), 8);
  for (FXComboBox* combo : {page.cmdCombo, page.adrCombo, page.dataCombo}) {
    ASSERT_EQ(combo->getNumItems(), 3);
    EXPECT_EQ(text_of(combo->getItem(2)), "RUSSIAN_KOI8 r8");
    EXPECT_EQ(combo->getNumVisible(), 5);
  }
  EXPECT_EQ(text_of(page.dataStrCombo->getTipText()), "Передаваемые Данные  много байт");
  EXPECT_EQ(page.dataStrCombo->getNumItems(), 0);
  EXPECT_FALSE(testsupport::usable(page.cancelButton));

  page.wosz = 17;
  refreshWidgets();
  EXPECT_EQ(text_of(page.intFields[4]->getText()), "17");
}

TEST_F(MainWindowTest, CommittingTheDataFieldShowsItsBits) {
  tv::ConsolePage& page = window->console();
  // Enter in the field: 1A5 counts by its low byte A5.
  page.dataCombo->setText("1A5");
  page.dataCombo->handle(nullptr, FXSEL(SEL_COMMAND, FXComboBox::ID_TEXT), nullptr);
  EXPECT_EQ(text_of(page.dataText), "1A5");
  const bool a5[8] = {true, false, true, false, false, true, false, true};
  for (int i = 0; i < tv::kBitCount; ++i) {
    EXPECT_EQ(page.bitChecks[i]->getCheck() == TRUE, a5[i]) << i;
    EXPECT_EQ(text_of(page.bitLabels[i]->getText()), a5[i] ? "1" : "0") << i;
  }

  // Text that is not hexadecimal clears every bit.
  page.dataCombo->setText("zz");
  page.dataCombo->handle(nullptr, FXSEL(SEL_COMMAND, FXComboBox::ID_TEXT), nullptr);
  for (int i = 0; i < tv::kBitCount; ++i) EXPECT_FALSE(page.bitChecks[i]->getCheck()) << i;

  // A choice from the list commits too: "ENGLISH en" reads as 0E.
  page.dataCombo->setCurrentItem(1);
  page.dataCombo->setCurrentItem(0, TRUE);
  EXPECT_EQ(text_of(page.dataText), "ENGLISH en");
  EXPECT_EQ(text_of(page.bitLabels[4]->getText()), "1");
  EXPECT_EQ(text_of(page.bitLabels[7]->getText()), "0");
}

TEST_F(MainWindowTest, BitBoxesWriteTheDataText) {
  tv::ConsolePage& page = window->console();
  page.bitChecks[0]->setCheck(TRUE, TRUE);
  EXPECT_EQ(text_of(page.dataText), "80");
  EXPECT_EQ(text_of(page.bitLabels[0]->getText()), "1");

  page.bitChecks[0]->setCheck(FALSE, TRUE);
  page.bitChecks[7]->setCheck(TRUE, TRUE);
  EXPECT_EQ(text_of(page.dataText), "01");
  EXPECT_EQ(text_of(page.bitLabels[0]->getText()), "0");

  page.bitChecks[7]->setCheck(FALSE, TRUE);
  EXPECT_EQ(text_of(page.dataText), "00");
  refreshWidgets();
  EXPECT_EQ(text_of(page.dataCombo->getText()), "00");
}

TEST_F(MainWindowTest, SaveWritesEverySettingToTheRegistry) {
  window->comPort = "com6";
  window->language = "ENGLISH en";
  window->flashDelay = 9;
  window->sysfontDelay = 12;
  EXPECT_EQ(send(window, SEL_COMMAND, tv::ID_SAVE_SETTINGS), 1);

  FXRegistry& reg = testsupport::test_app()->reg();
  EXPECT_STREQ(reg.readStringEntry("settings", "comm", ""), "com6");
  EXPECT_STREQ(reg.readStringEntry("settings", "lang", ""), "ENGLISH en");
  EXPECT_EQ(reg.readIntEntry("settings", "flash_delay", 0), 9);
  EXPECT_EQ(reg.readIntEntry("settings", "sysfont_delay", 0), 12);
  EXPECT_EQ(reg.readIntEntry("position", "w", -1), window->getWidth());
  EXPECT_EQ(reg.readIntEntry("position", "h", -1), window->getHeight());
  EXPECT_EQ(reg.readIntEntry("position", "x", -1), window->getX());
  EXPECT_EQ(reg.readIntEntry("position", "y", -1), window->getY());
  EXPECT_FALSE(reg.isModified());  // written out to its file at once
}

TEST_F(MainWindowTest, AboutBoxIsAnInformationWithOk) {
  std::vector<tv::MessageRecord> shown;
  tv::set_message_hook([&](const tv::MessageRecord& record) {
    shown.push_back(record);
    return static_cast<FXuint>(MBOX_CLICKED_OK);
  });
  EXPECT_EQ(send(window, SEL_COMMAND, tv::ID_ABOUT), 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, tv::MessageKind::Information);
  EXPECT_EQ(shown[0].buttons, static_cast<FXuint>(MBOX_OK));
  EXPECT_EQ(shown[0].caption, "About this") << "the file's line break is a blank in a title";
  EXPECT_EQ(shown[0].text, "HarnvaTVBox Version 1.44 \n\n");
}

TEST_F(MainWindowTest, OneTooltipWindowHoweverOftenTheWindowIsBuilt) {
  FXApp* app = testsupport::test_app();
  FXToolTip* tooltip = tv::application_tooltip(app);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_NE(tooltip->id(), 0u);
  delete window;
  window = new X_SRV_K_Window(app);
  window->create();
  EXPECT_EQ(tv::application_tooltip(app), tooltip);
  int tooltips = 0;
  for (FXWindow* child = app->getRootWindow()->getFirst(); child; child = child->getNext()) {
    if (child->isMemberOf(FXMETACLASS(FXToolTip))) ++tooltips;
  }
  EXPECT_EQ(tooltips, 1);
}

TEST_F(MainWindowTest, PortLampSwitchesBetweenBlackAndGreen) {
  EXPECT_EQ(window->portIndicator->getIcon(), window->icons().lampBlack);
  window->setPortLamp(true);
  EXPECT_EQ(window->portIndicator->getIcon(), window->icons().lampGreen);
  EXPECT_NE(window->icons().lampGreen->id(), 0u);  // drawable: the window is already created
  testsupport::pump_gui();
  window->setPortLamp(false);
  EXPECT_EQ(window->portIndicator->getIcon(), window->icons().lampBlack);
}

TEST_F(MainWindowTest, PollTimerIsArmedAndCanBeTakenAway) {
  EXPECT_TRUE(window->pollTimerArmed());
  window->removePollTimer();
  EXPECT_FALSE(window->pollTimerArmed());
  window->addPollTimer();
  EXPECT_TRUE(window->pollTimerArmed());
  // Its own handler arms it again for the next tick. A tick that changed no
  // widget says so: "handled" would make FOX run its update pass over every
  // widget after each tick, for nothing.
  window->removePollTimer();
  EXPECT_EQ(send(window, SEL_TIMEOUT, tv::ID_POLL_TIMER), 0);
  EXPECT_TRUE(window->pollTimerArmed());
}

// The progress of a worker reaches the bar through the queue and the GUI
// signal alone: this loop runs only the toolkit's events, never drains the
// queue itself.
TEST_F(MainWindowTest, WorkerProgressReachesTheBarInOrder) {
  tv::GuiControlSink sink([this](int percent) { window->showProgress(percent); });
  std::thread worker([&sink] {
    for (int percent = 10; percent <= 100; percent += 10) sink.progress(percent);
  });
  worker.join();
  FXApp* app = testsupport::test_app();
  tv::Deadline deadline(3000);
  while (window->progressBar->getProgress() != 100 && !deadline.expired()) {
    app->runOneEvent(true);  // the 10 ms poll timer bounds each wait
  }
  EXPECT_EQ(window->progressBar->getProgress(), 100u);
  EXPECT_TRUE(tv::ui_queue().empty());
}

class HelpDocumentTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    saved_dir_ = here;
    ASSERT_EQ(chdir(work_dir_.c_str()), 0);
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    if (chdir(saved_dir_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << saved_dir_;
    MainWindowTest::TearDown();
  }

  // A stand-in for the desktop's opener that notes what it was asked to open.
  // With `exit_status` 1 it fails as xdg-open does without a browser.
  std::string install_fake_opener(int exit_status = 0) {
    const std::string bin = work_dir_ + "/bin";
    mkdir(bin.c_str(), 0700);
    const std::string script = bin + "/xdg-open";
    std::ofstream(script) << "#!/bin/sh\necho \"$1\" > '" << work_dir_ << "/opened.tmp'\nmv '" << work_dir_
                          << "/opened.tmp' '" << work_dir_ << "/opened'\nexit " << exit_status << "\n";
    chmod(script.c_str(), 0700);
    setenv("PATH", (bin + ":" + saved_path_).c_str(), 1);
    return work_dir_ + "/opened";
  }

  testsupport::TempDir work_{"window-help"};
  const std::string& work_dir_ = work_.path();
  // An installed package's readme.htm must not stand in for the missing one:
  // the data folder is an empty one of the test's own, whoever runs it.
  testsupport::TempDir no_installed_data_{"window-help-data"};
  testsupport::ScopedEnv data_dir_{"TVBOX_DATA_DIR", no_installed_data_.path().c_str()};
  std::string saved_dir_, saved_path_;
};

TEST_F(HelpDocumentTest, MissingReadmeStartsNothing) {
  const std::string marker = install_fake_opener();
  EXPECT_EQ(send(window, SEL_COMMAND, tv::ID_HELP_DOC), 1);
  EXPECT_FALSE(tv::DesktopOpener().start("readme.htm"));
  EXPECT_NE(access(marker.c_str(), F_OK), 0);
}

TEST_F(HelpDocumentTest, ReadmeIsHandedToTheOpener) {
  const std::string marker = install_fake_opener();
  std::ofstream("readme.htm") << "<html></html>\n";
  EXPECT_EQ(send(window, SEL_COMMAND, tv::ID_HELP_DOC), 1);
  ASSERT_TRUE(testsupport::wait_for([&] { return access(marker.c_str(), F_OK) == 0; }, 5000));
  std::ifstream in(marker);
  std::string opened;
  std::getline(in, opened);
  EXPECT_EQ(opened, "readme.htm");
}

// In Russian the Russian page is opened; an opener that fails (no browser)
// is heard when it ends, and a box says where the page is.
TEST_F(HelpDocumentTest, RussianPageAndAFailingOpenerThatSaysWhereThePageIs) {
  const std::string marker = install_fake_opener(1);
  std::ofstream("readme.htm") << "<html></html>\n";
  std::ofstream("readme.ru.htm") << "<html lang=\"ru\"></html>\n";
  const std::string saved_language = _r_fn;
  tv::set_language_file("lang.r8");
  std::vector<tv::MessageRecord> shown;
  tv::set_message_hook([&](const tv::MessageRecord& record) {
    shown.push_back(record);
    return static_cast<FXuint>(MBOX_CLICKED_OK);
  });
  EXPECT_EQ(send(window, SEL_COMMAND, tv::ID_HELP_DOC), 1);
  EXPECT_TRUE(testsupport::run_gui_until([&] { return !shown.empty(); }, 5000));
  tv::set_language_file(saved_language.c_str());
  tv::set_message_hook({});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, tv::MessageKind::Error);
  EXPECT_NE(shown[0].text.find(work_dir_ + "/readme.ru.htm"), std::string::npos) << shown[0].text;
  std::ifstream in(marker);
  std::string opened;
  std::getline(in, opened);
  EXPECT_EQ(opened, "readme.ru.htm");
}

}  // namespace
