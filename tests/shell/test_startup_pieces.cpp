// The testable pieces of start-up: the command line, the language file name,
// the stored settings with their checks, and the configuration-lists file.
#include <fox-1.6/fx.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/trace.h"
#include "cli/window_settings.h"
#include "shell/config_lists.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "support/temp_dir.h"
#include "text/catalogue.h"

namespace {

tv::CommandLineOptions parse(std::vector<std::string> args) {
  args.insert(args.begin(), "tvbox");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  return tv::parse_command_line(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLine, DefaultsWithoutSwitches) {
  tv::CommandLineOptions options = parse({});
  EXPECT_FALSE(options.show_usage);
  EXPECT_EQ(options.control_port, 5);
  EXPECT_FALSE(options.extended_mode);
}

TEST(CommandLine, UsageSwitchesInEveryForm) {
  for (const char* sw : {"-h", "-H", "-?", "/h", "/?", "-help"}) {
    EXPECT_TRUE(parse({sw}).show_usage) << sw;
  }
}

TEST(CommandLine, ControlPortReadAsAtoiWithEitherPrefixAndCase) {
  EXPECT_EQ(parse({"-c4"}).control_port, 4);
  EXPECT_EQ(parse({"/C2"}).control_port, 2);
  EXPECT_EQ(parse({"-c12x"}).control_port, 12);
  EXPECT_EQ(parse({"-cx"}).control_port, 0);
  EXPECT_EQ(parse({"-c"}).control_port, 0);
  EXPECT_EQ(parse({"-c3", "-c7"}).control_port, 7);
}

TEST(CommandLine, ExtendedModeOnlyWithLowerCaseA) {
  EXPECT_TRUE(parse({"-a"}).extended_mode);
  EXPECT_TRUE(parse({"/all"}).extended_mode);
  EXPECT_FALSE(parse({"-A"}).extended_mode);
}

TEST(CommandLine, NonSwitchesAndUnknownSwitchesAreIgnored) {
  tv::CommandLineOptions options = parse({"a", "c9", "h", "-x", "-", "/"});
  EXPECT_FALSE(options.show_usage);
  EXPECT_FALSE(options.extended_mode);
  EXPECT_EQ(options.control_port, 5);
}

// tvbox -h and its manual page name the same switches.
TEST(CommandLine, UsageTextNamesTheProgramAndEverySwitchOfTheManualPage) {
  const std::string usage = tv::usage_text("/usr/bin/tvbox");
  EXPECT_EQ(usage.rfind("Usage: /usr/bin/tvbox [ -sw [ -sw ..] ]  \n\n<Switches>\n\n  h\t\tthis help\n", 0),
            0u);
  std::ifstream in(std::string(TVBOX_SOURCE_DIR) + "/man/tvbox.1");
  const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::pair<const char*, const char*> switches[] = {{"  h\t", ".B \\-h\n"},
                                                          {"  cN\t", ".BI \\-c N\n"},
                                                          {"  a\t", ".B \\-a\n"},
                                                          {"  --version\t", ".B \\-\\-version\n"},
                                                          {"  --help\t", ".B \\-\\-help\n"}};
  for (const auto& [in_usage, in_page] : switches) {
    EXPECT_NE(usage.find(in_usage), std::string::npos) << in_usage;
    EXPECT_NE(page.find(in_page), std::string::npos) << in_page;
  }
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 4 + 5) << usage;
  EXPECT_TRUE(parse({"--version"}).show_version);
  EXPECT_TRUE(parse({"--help"}).show_help);
  EXPECT_FALSE(parse({"-h"}).show_help) << "-h prints the usage and opens the window";
}

TEST(LanguageFile, CodeAfterTheFirstBlank) {
  EXPECT_EQ(tv::language_file_for("ENGLISH en"), "lang.en");
  EXPECT_EQ(tv::language_file_for("RUSSIAN ru"), "lang.ru");
  EXPECT_EQ(tv::language_file_for("RUSSIAN_KOI8 r8"), "lang.r8");
  EXPECT_EQ(tv::language_file_for("A b c"), "lang.b c");
}

TEST(LanguageFile, NoBlankKeepsRussian) {
  EXPECT_EQ(tv::language_file_for("ENGLISH"), "lang.ru");
  EXPECT_EQ(tv::language_file_for(""), "lang.ru");
}

TEST(LanguageFile, LongCodeIsCutToTheBuffer) {
  std::string name = tv::language_file_for("X " + std::string(400, 'q'));
  EXPECT_EQ(name.size(), kLangFileNameSize - 1);
  EXPECT_EQ(name.compare(0, 6, "lang.q"), 0);
}

class StoredSettings : public ::testing::Test {
 protected:
  FX::FXRegistry registry{"TV Box", "Harnvale"};
};

TEST_F(StoredSettings, EmptyRegistryGivesDefaults) {
  tv::SavedSettings settings = tv::load_settings(registry);
  EXPECT_EQ(settings.language, "RUSSIAN ru");
  EXPECT_FALSE(settings.language_stored);  // the first start is in Russian
  EXPECT_EQ(settings.com_port, "com3");
  EXPECT_EQ(settings.delays.flash, 3);
  EXPECT_EQ(settings.delays.sysfont, 6);
  EXPECT_TRUE(settings.verify);  // a new settings file reads back what it burns
  EXPECT_EQ(settings.geometry.x, 130);
  EXPECT_EQ(settings.geometry.y, 130);
  EXPECT_EQ(settings.geometry.w, 550);
  EXPECT_EQ(settings.geometry.h, 380);
}

TEST_F(StoredSettings, OutOfRangePositionFallsBackAndTheLimitsThemselvesAreInRange) {
  registry.writeIntEntry("position", "w", 2000);
  registry.writeIntEntry("position", "h", -5);
  registry.writeIntEntry("position", "x", 1001);
  registry.writeIntEntry("position", "y", -1);
  tv::WindowGeometry geometry = tv::load_settings(registry).geometry;
  EXPECT_EQ(geometry.w, 600);
  EXPECT_EQ(geometry.h, 380);
  EXPECT_EQ(geometry.x, 130);
  EXPECT_EQ(geometry.y, 130);

  registry.writeIntEntry("position", "w", 1500);
  registry.writeIntEntry("position", "h", 1000);
  registry.writeIntEntry("position", "x", 0);
  registry.writeIntEntry("position", "y", 1000);
  geometry = tv::load_settings(registry).geometry;
  EXPECT_EQ(geometry.w, 1500);
  EXPECT_EQ(geometry.h, 1000);
  EXPECT_EQ(geometry.x, 0);
  EXPECT_EQ(geometry.y, 1000);
}

TEST_F(StoredSettings, DelaysAndStringsAreTakenAsStored) {
  registry.writeIntEntry("settings", "flash_delay", 50);
  registry.writeIntEntry("settings", "sysfont_delay", 1);
  registry.writeStringEntry("settings", "lang", "");
  registry.writeIntEntry("settings", "verify", 0);
  tv::SavedSettings settings = tv::load_settings(registry);
  EXPECT_FALSE(settings.verify);  // turned off and saved, it stays off
  EXPECT_EQ(settings.delays.flash, 50);
  EXPECT_EQ(settings.delays.sysfont, 1);
  EXPECT_TRUE(settings.language_stored);  // stored empty is still stored
  EXPECT_EQ(settings.language, "");
}

TEST(SaveSettings, WrittenFileIsReadBackByAFreshRegistry) {
  testsupport::TempDir home("shell-home");
  testsupport::ScopedEnv home_env("HOME", home.path().c_str());
  tv::SavedSettings saved;
  saved.language = "ENGLISH en";
  saved.com_port = "com6";
  saved.delays = {12, 25};
  saved.geometry = {40, 50, 700, 420};
  saved.verify = true;
  {
    FX::FXRegistry registry("TV Box", "Harnvale");
    EXPECT_TRUE(tv::save_settings(registry, saved));
  }
  FX::FXRegistry fresh("TV Box", "Harnvale");
  fresh.read();
  tv::SavedSettings loaded = tv::load_settings(fresh);
  EXPECT_TRUE(loaded.language_stored);
  EXPECT_EQ(loaded.language, "ENGLISH en");
  EXPECT_EQ(loaded.com_port, "com6");
  EXPECT_EQ(loaded.delays.flash, 12);
  EXPECT_EQ(loaded.delays.sysfont, 25);
  EXPECT_TRUE(loaded.verify);
  EXPECT_EQ(loaded.geometry.x, 40);
  EXPECT_EQ(loaded.geometry.y, 50);
  EXPECT_EQ(loaded.geometry.w, 700);
  EXPECT_EQ(loaded.geometry.h, 420);

  // tvbox-burn reads the same file without the toolkit: the saved port (one
  // the toolkit quotes) and the log limits, each checked against its range.
  fresh.writeStringEntry("settings", "comm", "/dev/serial/by-id/usb \"7\"");
  fresh.writeIntEntry("settings", tv::kKeepLogsKey, 20);
  fresh.writeIntEntry("settings", tv::kKeepDaysKey, 0);
  ASSERT_TRUE(fresh.write());
  EXPECT_EQ(tv::read_log_keeping(fresh).files, 20);
  EXPECT_EQ(tv::read_log_keeping(fresh).days, tv::LogKeeping().days);
  const tv::WindowSettings burner = tv::read_window_settings(tv::window_settings_path());
  EXPECT_EQ(burner.ports, std::vector<std::string>{"/dev/serial/by-id/usb \"7\""});
  EXPECT_EQ(burner.keeping.files, 20);
  EXPECT_EQ(burner.keeping.days, tv::LogKeeping().days);
}

class ConfigListsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    path_ = dir_.file("h_tvbox.cfg");
  }
  testsupport::TempDir dir_{"shell"};
  std::string path_;
};

TEST_F(ConfigListsFile, ReadsFourSectionsInOrder) {
  testsupport::write_file(path_,
                          "[slave_adr]\nit_0=FE OSD\nit_1=C0 tuner\n"
                          "[cmd]\nit_0=01\n[adr]\nit_0=07\nit_1=08\nit_2=09\n[dt]\nit_0=FF\n");
  tv::ConfigLists lists;
  ASSERT_TRUE(tv::read_config_lists(path_, &lists));
  EXPECT_EQ(lists.slave_adr, (std::vector<std::string>{"FE OSD", "C0 tuner"}));
  EXPECT_EQ(lists.cmd, (std::vector<std::string>{"01"}));
  EXPECT_EQ(lists.adr, (std::vector<std::string>{"07", "08", "09"}));
  EXPECT_EQ(lists.dt, (std::vector<std::string>{"FF"}));
}

TEST_F(ConfigListsFile, ListStopsAtTheFirstMissingIndex) {
  testsupport::write_file(path_, "[cmd]\nit_0=first\nit_2=third\n");
  tv::ConfigLists lists;
  ASSERT_TRUE(tv::read_config_lists(path_, &lists));
  EXPECT_EQ(lists.cmd, (std::vector<std::string>{"first"}));
  EXPECT_TRUE(lists.slave_adr.empty());
}

TEST_F(ConfigListsFile, AtMostAThousandItems) {
  std::string text = "[dt]\n";
  for (int i = 0; i <= 1000; ++i) text += "it_" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
  testsupport::write_file(path_, text);
  tv::ConfigLists lists;
  ASSERT_TRUE(tv::read_config_lists(path_, &lists));
  ASSERT_EQ(lists.dt.size(), 1000u);
  EXPECT_EQ(lists.dt.back(), "v999");
}

TEST_F(ConfigListsFile, MissingOrWrongFilesLeaveTheListsAlone) {
  tv::ConfigLists lists;
  lists.cmd = {"kept"};
  EXPECT_FALSE(tv::read_config_lists(dir_.file("absent.cfg"), &lists));
  EXPECT_FALSE(tv::read_config_lists(dir_.path(), &lists));  // a folder
  testsupport::write_file(path_, std::string("\x00\xff\x01garbage\n=\n[]\n\x7f", 18));
  EXPECT_FALSE(tv::read_config_lists(path_, &lists));
  testsupport::write_file(path_, "[other]\nit_0=x\n");
  EXPECT_FALSE(tv::read_config_lists(path_, &lists));
  EXPECT_EQ(lists.cmd, (std::vector<std::string>{"kept"}));
}

TEST_F(ConfigListsFile, ShippedSampleHasItemsForEveryList) {
  tv::ConfigLists lists;
  ASSERT_TRUE(tv::read_config_lists(std::string(TVBOX_SOURCE_DIR) + "/data/h_tvbox.cfg", &lists));
  EXPECT_FALSE(lists.slave_adr.empty());
  EXPECT_FALSE(lists.cmd.empty());
  EXPECT_FALSE(lists.adr.empty());
  EXPECT_FALSE(lists.dt.empty());
}

}  // namespace

namespace {

// The lists are shown as UTF-8 whether the file was written in Windows-1251,
// as on the engineers' machines, or in UTF-8; the address in front stays.
TEST_F(ConfigListsFile, Windows1251AndUtf8ListsBothShowTheirRussianNotes) {
  tv::ConfigLists lists;
  testsupport::write_file(path_,
                          "[slave_adr]\nit_0=FE \xc3\xf0\xe0\xf4.\xef\xf0\xee\xf6\xe5\xf1\xf1\xee\xf0\n"
                          "it_1=C0 \xd0\xa2\xd1\x8e\xd0\xbd\xd0\xb5\xd1\x80\nit_2=86 plain\n");
  ASSERT_TRUE(tv::read_config_lists(path_, &lists));
  EXPECT_EQ(lists.slave_adr, (std::vector<std::string>{"FE Граф.процессор", "C0 Тюнер", "86 plain"}));
}

}  // namespace
