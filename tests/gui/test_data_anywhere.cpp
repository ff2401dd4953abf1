// The program started from a folder without its data files, as the desktop
// menu starts it from the home folder: captions, configuration lists,
// pictures and help come from the installed data folder, and pipes under the
// data files' names in the working folder neither hang the start nor hide the
// installed copies.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "channels/ChannelPage.h"
#include "channels/channel_pages.h"
#include "dbkit/FXMessageSeam.h"
#include "shell/console_page.h"
#include "shell/desktop_open.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/window_ids.h"
#include "support/fox_app.h"
#include "support/pipe_trap.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using testsupport::write_file;

std::string source_data(const std::string& name) { return std::string(TVBOX_SOURCE_DIR) + "/data/" + name; }

class DataAnywhereTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(old_cwd_, sizeof old_cwd_));
    ASSERT_EQ(chdir(home_.path().c_str()), 0);
    FX::FXRegistry& registry = testsupport::test_app()->reg();
    registry.deleteSection("settings");
    registry.deleteSection("position");
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
  }
  void TearDown() override {
    tv::set_message_hook({});
    setenv("PATH", saved_path_.c_str(), 1);
    if (main_window) tv::shut_down_program();
    ASSERT_EQ(chdir(old_cwd_), 0);
  }

  void install(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(write_file(installed_.file(name), bytes));
  }

  bool start() {
    std::vector<std::string> pipes;
    for (const char* name : {"lang.ru", "up.gif", "h_tvbox.cfg", "readme.htm"}) {
      pipes.push_back(home_.file(name));
      if (!testsupport::make_pipe(pipes.back())) return false;
    }
    char program[] = "tvbox";
    char* argv[] = {program, nullptr};
    return testsupport::finishes_despite_pipes([&] { tv::start_program(1, argv, testsupport::test_app()); },
                                               pipes);
  }

  // PATH with no opener at all, or with a stand-in opener ahead of the rest.
  void path_with(const std::string& opener_script) {
    const std::string bin = home_.file("bin");
    mkdir(bin.c_str(), 0700);
    if (!opener_script.empty()) {
      std::ofstream(bin + "/xdg-open") << opener_script;
      chmod((bin + "/xdg-open").c_str(), 0700);
    }
    setenv("PATH", opener_script.empty() ? bin.c_str() : (bin + ":" + saved_path_).c_str(), 1);
  }

  testsupport::TempDir home_{"home"};
  testsupport::TempDir installed_{"installed"};
  testsupport::TempDir ports_{"no-ports"};
  testsupport::ScopedEnv data_dir_{"TVBOX_DATA_DIR", installed_.path().c_str()};
  testsupport::ScopedEnv port_dir_{"TVBOX_PORT_DIR", ports_.path().c_str()};
  char old_cwd_[4096];
  std::string saved_path_;
};

TEST_F(DataAnywhereTest, StartFromAnEmptyFolderUsesTheInstalledDataAndHelp) {
  install("lang.ru",
          "m_Title=Installed Box\nhv_settings=Settings\nm_noopen_f=No opener\nm_noopen=Install one\n");
  install("h_tvbox.cfg", "[cmd]\nit_0=01 installed\n");
  install("readme.htm", "<html></html>\n");
  std::ifstream picture(source_data("up.gif"), std::ios::binary);
  install("up.gif", std::string(std::istreambuf_iterator<char>(picture), {}));

  ASSERT_TRUE(start()) << "start-up waited on a pipe";
  ASSERT_NE(main_window, nullptr);
  EXPECT_STREQ(main_window->getTitle().text(), "Installed Box");
  EXPECT_STREQ(main_window->settingsTab->getText().text(), "Settings");
  ASSERT_EQ(main_window->console().cmdCombo->getNumItems(), 1);
  EXPECT_STREQ(main_window->console().cmdCombo->getItemText(0).text(), "01 installed");
  EXPECT_NE(main_window->channels().tv->upButton->getIcon(), nullptr);
  EXPECT_EQ(main_window->channels().tv->downButton->getIcon(), nullptr);  // dn.gif not installed

  // Help without an opener says so, naming the page to open by hand.
  std::vector<tv::MessageRecord> shown;
  tv::set_message_hook([&](const tv::MessageRecord& record) {
    shown.push_back(record);
    return static_cast<FXuint>(MBOX_CLICKED_OK);
  });
  path_with("");
  EXPECT_FALSE(tv::desktop_opener_installed());
  main_window->handle(nullptr, FXSEL(SEL_COMMAND, tv::ID_HELP_DOC), nullptr);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, tv::MessageKind::Error);
  EXPECT_EQ(shown[0].caption, "No opener");
  EXPECT_EQ(shown[0].text, "Install one\n\n" + installed_.file("readme.htm"));

  // With an opener, it is handed the installed page.
  const std::string marker = home_.file("opened");
  path_with("#!/bin/sh\necho \"$1\" > '" + marker + ".tmp'\nmv '" + marker + ".tmp' '" + marker + "'\n");
  EXPECT_TRUE(tv::desktop_opener_installed());
  main_window->handle(nullptr, FXSEL(SEL_COMMAND, tv::ID_HELP_DOC), nullptr);
  ASSERT_TRUE(testsupport::wait_for([&] { return access(marker.c_str(), F_OK) == 0; }, 5000));
  std::ifstream opened(marker);
  std::string line;
  std::getline(opened, line);
  EXPECT_EQ(line, installed_.file("readme.htm"));
  EXPECT_EQ(shown.size(), 1u);
}

}  // namespace
