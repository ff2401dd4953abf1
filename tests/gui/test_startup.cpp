// Start-up against the box simulator: the order of the trace, the defaults of
// an empty registry, the switches, the probe of an unsupported or silent box,
// the configuration lists, and Save followed by a new start-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "link/ports.h"
#include "shell/burn_page.h"
#include "shell/console_page.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/window_ids.h"
#include "support/fake_sysfs.h"
#include "support/fox_app.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "text/catalogue.h"

namespace {

using testsupport::write_file;

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Standard output of a block of code, line by line.
class StdoutCapture {
 public:
  explicit StdoutCapture(const std::string& path) : path_(path) {
    std::fflush(stdout);
    saved_ = dup(1);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
  }
  std::vector<std::string> finish() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    std::ifstream in(path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string path_;
  int saved_ = -1;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(old_cwd_, sizeof(old_cwd_)));
    ASSERT_EQ(chdir(work_dir_.c_str()), 0);
    FX::FXRegistry& registry = testsupport::test_app()->reg();
    registry.deleteSection("settings");
    registry.deleteSection("position");
    tv::set_trace_enabled(true);
  }

  void TearDown() override {
    if (main_window) tv::shut_down_program();
    ASSERT_EQ(chdir(old_cwd_), 0);
  }

  void start_sim(const std::string& programming = "com3", const std::string& control = "com5") {
    std::string error;
    ASSERT_TRUE(box_.start(&error, programming, control)) << error;
  }

  // One start-up up to the event loop, with its trace captured.
  void start(std::vector<std::string> args = {}) {
    tv::reset_catalogue_for_tests();
    tv::set_language_file("lang.r");
    args.insert(args.begin(), "tvbox");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    StdoutCapture capture(work_dir_ + "/trace.txt");
    int64_t began = tv::monotonic_ms();
    tv::start_program(static_cast<int>(args.size()), argv.data(), testsupport::test_app());
    elapsed_ms_ = tv::monotonic_ms() - began;
    trace_ = capture.finish();
    ASSERT_NE(main_window, nullptr);
  }

  // Whether `expected` occur in the trace in this order (other lines between).
  ::testing::AssertionResult trace_has_in_order(const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& line : trace_) {
      if (next < expected.size() && line == expected[next]) ++next;
    }
    if (next == expected.size()) return ::testing::AssertionSuccess();
    std::ostringstream text;
    for (const std::string& line : trace_) text << "  " << line << "\n";
    return ::testing::AssertionFailure() << "missing \"" << expected[next] << "\" in order; trace:\n"
                                         << text.str();
  }

  bool trace_has(const std::string& wanted) const {
    for (const std::string& line : trace_) {
      if (line == wanted) return true;
    }
    return false;
  }

  testsupport::SimulatedBox box_{"ports"};
  boxsim::BoxSimulator& sim_ = box_.sim();
  char old_cwd_[4096];
  testsupport::TempDir work_{"work"};
  const std::string& work_dir_ = work_.path();
  std::vector<std::string> trace_;
  int64_t elapsed_ms_ = 0;
};

TEST_F(StartupTest, EmptyRegistryGivesTheDefaultsInTraceOrder) {
  start_sim();
  start();
  int control_fd = main_window->lines().control.fd();
  char main_line[64];
  std::snprintf(main_line, sizeof(main_line), "main %d com 5  <%X> 0", control_fd,
                static_cast<unsigned>(control_fd));
  EXPECT_TRUE(trace_has_in_order({"1 _r_fn lang.r", "2 _r_fn lang.r", main_line, "3 _r_fn lang.r",
                                  "4 _r_fn lang.r", "_r_fn lang.ru **", "(com3)", "(com3)"}));
  EXPECT_TRUE(main_window->lines().control.is_open());
  EXPECT_TRUE(ends_with(main_window->lines().control.path(), "com5"));
  EXPECT_TRUE(main_window->lines().programming.is_open());
  // The green lamp is shown, and can be painted.
  ASSERT_NE(main_window->portIndicator->getIcon(), nullptr);
  EXPECT_NE(main_window->portIndicator->getIcon()->id(), 0u);
  testsupport::pump_gui();
  EXPECT_EQ(std::string(main_window->comPort.text()), "com3");
  EXPECT_EQ(std::string(main_window->language.text()), "RUSSIAN ru");
  EXPECT_STREQ(_r_fn, "lang.ru");
  EXPECT_EQ(main_window->getX(), 130);
  EXPECT_EQ(main_window->getY(), 130);
  EXPECT_EQ(main_window->getWidth(), 550);
  EXPECT_EQ(main_window->getHeight(), 380);
  EXPECT_EQ(main_window->flashDelay, 3);
  EXPECT_EQ(main_window->sysfontDelay, 6);
  EXPECT_TRUE(main_window->burn().verify) << "a new settings file reads back what it burns";
  EXPECT_FALSE(main_window->channelsTab->shown());
  EXPECT_FALSE(main_window->radioTab->shown());
  EXPECT_FALSE(main_window->consoleTab->shown());
  EXPECT_TRUE(main_window->settingsTab->shown());
  EXPECT_FALSE(main_window->lines().first.unsupported());
  EXPECT_FALSE(extended_mode);
}

TEST_F(StartupTest, ProbeSendsOnePacketAndASilentBoxCostsAboutThreeSeconds) {
  start_sim();
  start();
  std::vector<uint8_t> probe = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};
  std::vector<uint8_t> sent = sim_.received();
  ASSERT_GE(sent.size(), probe.size());
  EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 12), probe);
  EXPECT_EQ(sim_.stats().probes, 1u);
  EXPECT_GE(elapsed_ms_, 2900);
  EXPECT_LT(elapsed_ms_, 8000);
  EXPECT_FALSE(main_window->lines().first.unsupported());
}

TEST_F(StartupTest, AnsweringBoxIsMarkedUnsupported) {
  start_sim();
  boxsim::Faults faults;
  faults.unsupported = true;
  sim_.set_faults(faults);
  start();
  EXPECT_TRUE(main_window->lines().first.unsupported());
  EXPECT_LT(elapsed_ms_, 2900);  // the answer ends the wait
  // The probe's answer does not reach the console: it was drained.
  uint8_t byte;
  EXPECT_EQ(main_window->lines().programming.read(&byte, 1, 0), 0);
}

TEST_F(StartupTest, SwitchAShowsTheConsoleAndSwitchCChoosesTheControlPort) {
  start_sim("com3", "com2");
  start({"-a", "/C2", "-h"});
  EXPECT_TRUE(extended_mode);
  EXPECT_TRUE(main_window->consoleTab->shown());
  EXPECT_FALSE(main_window->channelsTab->shown());
  EXPECT_FALSE(main_window->radioTab->shown());
  EXPECT_EQ(control_port_number, 2);
  EXPECT_TRUE(main_window->lines().control.is_open());
  EXPECT_TRUE(ends_with(main_window->lines().control.path(), "com2"));
  EXPECT_TRUE(trace_has_in_order(
      {"Usage: tvbox [ -sw [ -sw ..] ]  ", "", "<Switches>", "", "  h\t\tthis help", "1 _r_fn lang.r"}));
}

TEST_F(StartupTest, MissingPortsLeaveTheProgramRunningWithTheLampOff) {
  // No simulator at all: neither port opens, start-up still completes.
  start();
  EXPECT_FALSE(main_window->lines().control.is_open());
  EXPECT_FALSE(main_window->lines().programming.is_open());
  EXPECT_TRUE(trace_has("main -1 com 5  <FFFFFFFF> 0"));
  EXPECT_FALSE(main_window->lines().first.unsupported());
}

// A port that does not open says why, in the status bar and the trace, in the
// user's language when the language file has the words: the reason first, so
// that the status line's cut at the window's width leaves it standing.
TEST_F(StartupTest, PortsThatDoNotOpenSayWhy) {
  const std::string dir = box_.dir().path();
  write_file(work_dir_ + "/lang.ru",
             "m_port_nodev=\xcd\xe5\xf2 \xf2\xe0\xea\xee\xe3\xee "
             "\xf3\xf1\xf2\xf0\xee\xe9\xf1\xf2\xe2\xe0\n"
             "comm_sw=Port\tProgramming port\tGreen: the programming port is open\n");
  start();  // no simulator: nothing at com3 or com5
  const std::string status = main_window->statusBar->getStatusLine()->getNormalText().text();
  EXPECT_EQ(status, "Нет такого устройства: " + dir + "/com3. The programming port did not open (com3).");
  EXPECT_TRUE(trace_has(status));
  // The lamp's tip holds it all, once, in lines that fit on a screen.
  std::string tip = main_window->portIndicator->getTipText().text();
  for (size_t end = tip.find('\n'), start = 0; start < tip.size();
       start = end + 1, end = tip.find('\n', start)) {
    EXPECT_LE(FXString(tip.substr(start, end - start).c_str()).count(), 60) << tip;
    if (end == std::string::npos) break;
  }
  std::replace(tip.begin(), tip.end(), '\n', ' ');
  EXPECT_EQ(tip, status);
  EXPECT_EQ(std::string(main_window->whyControlLineIsClosed().text()),
            "Нет такого устройства: " + dir + "/com5. The control line did not open (COM5).");
  // The lamp's help follows its colour.
  EXPECT_EQ(std::string(main_window->portIndicator->getHelpText().text()),
            "Black: the programming port is closed");
  main_window->setPortLamp(true);
  EXPECT_EQ(std::string(main_window->portIndicator->getHelpText().text()),
            "Green: the programming port is open");
  EXPECT_EQ(std::string(main_window->portIndicator->getTipText().text()), "Programming port");
  tv::shut_down_program();

  // Regular files where the lines should be: neither is taken for one, and
  // neither is written to.
  write_file(dir + "/com3", "");
  write_file(dir + "/com5", "");
  start();
  EXPECT_FALSE(main_window->lines().programming.is_open());
  EXPECT_FALSE(main_window->lines().control.is_open());
  EXPECT_EQ(std::string(main_window->whyProgrammingPortIsClosed().text())
                .rfind("Not a serial line: " + dir + "/com3. ", 0),
            0u);
  EXPECT_EQ(std::string(main_window->whyControlLineIsClosed().text())
                .rfind("Not a serial line: " + dir + "/com5. ", 0),
            0u);
  tv::shut_down_program();
  unlink((dir + "/com3").c_str());
  unlink((dir + "/com5").c_str());

  // A line that another program holds.
  start_sim();
  tv::SerialPort holder;
  ASSERT_EQ(holder.open_device(dir + "/com3"), 0);
  start();
  EXPECT_FALSE(main_window->lines().programming.is_open());
  EXPECT_EQ(std::string(main_window->statusBar->getStatusLine()->getNormalText().text())
                .rfind("Busy: " + dir + "/com3 \xE2\x80\x94 another program holds it. ", 0),
            0u);
  EXPECT_TRUE(main_window->lines().control.is_open());
  EXPECT_TRUE(main_window->whyControlLineIsClosed().empty());
  holder.close();
  tv::shut_down_program();

  // A line that opens, on a USB adapter that kept its 16 ms latency timer:
  // the status line says what it costs and gives the udev rule.
  const std::string sys = work_dir_ + "/sys";
  testsupport::add_fake_adapter(sys, {std::filesystem::canonical(dir + "/com3").filename(), "1-1", "0403",
                                      "6001", "FTDI", "FT232R", "A1", "ftdi_sio", 16});
  testsupport::ScopedEnv fake_sysfs("TVBOX_SYSFS_ROOT", sys.c_str());
  start();
  ASSERT_TRUE(main_window->lines().programming.is_open());
  const std::string note = main_window->statusBar->getStatusLine()->getNormalText().text();
  EXPECT_EQ(note.rfind("The USB adapter holds every answer of the box for its latency timer", 0), 0u) << note;
  EXPECT_TRUE(ends_with(note, "(16 ms, " + dir +
                                  "/com3): ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                                  "ATTR{latency_timer}=\"1\""))
      << note;
  EXPECT_EQ(main_window->lines().programming.answer_latency_ms(), 16);
}

TEST_F(StartupTest, ConfigurationListsReplaceTheConsoleItems) {
  write_file(work_dir_ + "/h_tvbox.cfg",
             "[slave_adr]\nit_0=FE OSD\nit_1=C0 tuner\n[cmd]\nit_0=01\nit_2=03\n"
             "[adr]\nit_0=07\n[dt]\nit_0=FF\nit_1=00\n");
  start();
  ASSERT_NE(main_window->console().slaveAdrCombo, nullptr);
  EXPECT_EQ(main_window->console().slaveAdrCombo->getNumItems(), 2);
  EXPECT_EQ(std::string(main_window->console().slaveAdrCombo->getItem(1).text()), "C0 tuner");
  EXPECT_EQ(main_window->console().cmdCombo->getNumItems(), 1);
  EXPECT_EQ(main_window->console().adrCombo->getNumItems(), 1);
  EXPECT_EQ(main_window->console().dataCombo->getNumItems(), 2);
  EXPECT_TRUE(trace_has_in_order({"(FE OSD)", "(C0 tuner)", "(01)", "(07)", "(FF)", "(00)"}));
}

TEST_F(StartupTest, UnreadableConfigurationKeepsTheWindowsOwnItems) {
  start();
  int initial = main_window->console().cmdCombo->getNumItems();
  tv::shut_down_program();
  ASSERT_EQ(mkdir((work_dir_ + "/h_tvbox.cfg").c_str(), 0700), 0);
  start();
  EXPECT_EQ(main_window->console().cmdCombo->getNumItems(), initial);
  EXPECT_GT(initial, 0);
}

TEST_F(StartupTest, SaveThenNewStartupRestoresEverything) {
  start_sim("com4", "com5");
  write_file(work_dir_ + "/lang.en", "m_Title=Service Tool\n");
  start();
  main_window->language = "ENGLISH en";
  main_window->comPort = "com4";
  main_window->flashDelay = 9;
  main_window->sysfontDelay = 50;
  main_window->burn().verify = FALSE;
  main_window->position(210, 160, 640, 420);
  // A second box of the station, on a port with nothing behind it yet: its
  // row is kept, and tried again, like the first box's.
  ASSERT_TRUE(main_window->burn().addBox("com6", nullptr, false));
  main_window->handle(nullptr, FXSEL(FX::SEL_COMMAND, tv::ID_SAVE_SETTINGS), nullptr);
  tv::shut_down_program();

  start();
  EXPECT_TRUE(trace_has_in_order(
      {"4 _r_fn lang.r", "ENGLISH en", "_r_fn lang.en", "_r_fn lang.en **", "(com4)", "(com4)"}));
  EXPECT_EQ(std::string(main_window->language.text()), "ENGLISH en");
  EXPECT_EQ(std::string(main_window->comPort.text()), "com4");
  EXPECT_EQ(std::string(main_window->getTitle().text()), "Service Tool");
  EXPECT_TRUE(main_window->lines().programming.is_open());
  EXPECT_EQ(main_window->flashDelay, 9);
  EXPECT_EQ(main_window->sysfontDelay, 50);
  EXPECT_FALSE(main_window->burn().verify) << "turned off and saved, Verify stays off";
  EXPECT_EQ(main_window->getX(), 210);
  EXPECT_EQ(main_window->getY(), 160);
  EXPECT_EQ(main_window->getWidth(), 640);
  EXPECT_EQ(main_window->getHeight(), 420);
  EXPECT_EQ(main_window->burn().boxPorts(), (std::vector<std::string>{"com4", "com6"}));

  // And it reached the registry file, not only the registry in memory.
  FX::FXRegistry on_disk("TV Box", "Harnvale");
  on_disk.read();
  EXPECT_STREQ(on_disk.readStringEntry("settings", "comm", ""), "com4");
  EXPECT_STREQ(on_disk.readStringEntry("settings", "ports", ""), "com4,com6");
  EXPECT_EQ(on_disk.readIntEntry("position", "w", 0), 640);
}

// Closing the window (its close box, or the quit menu) deletes it before
// shutdown runs; shutdown must then leave it alone and still close the ports.
TEST_F(StartupTest, ClosingTheWindowThenShuttingDownTouchesNoDeletedWindow) {
  start_sim();
  start();
  ASSERT_TRUE(main_window->lines().programming.is_open());
  main_window->handle(main_window, FXSEL(SEL_COMMAND, FX::FXTopWindow::ID_CLOSE), nullptr);
  EXPECT_EQ(main_window, nullptr);
  tv::shut_down_program();
  // The lines went with the window: another opener gets both.
  tv::SerialPort programming, control;
  EXPECT_EQ(tv::open_programming_line(programming, "com3"), tv::kOpened);
  EXPECT_EQ(tv::xs_open(control, 5), tv::kOpened);
}

TEST_F(StartupTest, StoredLanguageWithoutBlankKeepsRussian) {
  testsupport::test_app()->reg().writeStringEntry("settings", "lang", "ENGLISH");
  start();
  EXPECT_TRUE(trace_has_in_order({"4 _r_fn lang.r", "ENGLISH", "_r_fn lang.ru", "_r_fn lang.ru **"}));
  EXPECT_EQ(std::string(main_window->language.text()), "ENGLISH");
}

TEST_F(StartupTest, OutOfRangeGeometryIsCorrected) {
  FX::FXRegistry& registry = testsupport::test_app()->reg();
  registry.writeIntEntry("position", "w", 2000);
  registry.writeIntEntry("position", "h", -5);
  registry.writeIntEntry("settings", "flash_delay", 50);
  start();
  EXPECT_EQ(main_window->getWidth(), 600);
  EXPECT_EQ(main_window->getHeight(), 380);
  EXPECT_EQ(main_window->flashDelay, 50);
}

}  // namespace
