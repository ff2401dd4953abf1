// Pictures of every tab for a person to look at (captions readable, icons in
// place). Runs only when TVBOX_SCREENSHOTS names the folder for the PNGs:
//   TVBOX_SCREENSHOTS=/tmp/shots TVBOX_SCREENSHOT_LANG=lang.ru
//     ./test_gui --gtest_filter='Screenshots.*'   (one command line)
// The window is built with data/ as the working directory, so the sample
// language files and pictures are used.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "shell/catalogue.h"
#include "shell/main_window.h"
#include "support/fox_app.h"

using namespace FX;

namespace {

bool capture(FXWindow* window, const std::string& png) {
  char command[1024];
  std::snprintf(command, sizeof command, "import -window 0x%lx '%s'",
                static_cast<unsigned long>(window->id()), png.c_str());
  return std::system(command) == 0;
}

TEST(Screenshots, EveryTab) {
  const char* out_dir = std::getenv("TVBOX_SCREENSHOTS");
  if (!out_dir) GTEST_SKIP() << "set TVBOX_SCREENSHOTS to a folder to get the pictures";
  const char* language = std::getenv("TVBOX_SCREENSHOT_LANG");
  const std::string lang = language ? language : "lang.en";

  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir((std::string(TVBOX_SOURCE_DIR) + "/data").c_str()), 0);
  tv::reset_catalogue_for_tests();
  tv::set_language_file(lang.c_str());

  auto* window = new X_SRV_K_Window(testsupport::test_app());
  window->create();
  window->hideStartupTabs(true);
  window->setPortLamp(true);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return window->shown(); }, 3000));

  // The console also at a size an engineer would give it.
  const int tabs[] = {0, 1, 4, 5, 4};
  for (size_t shot = 0; shot < sizeof tabs / sizeof tabs[0]; ++shot) {
    const int tab = tabs[shot];
    if (shot == 4) window->resize(900, 520);
    window->tabBook->setCurrent(tab);
    FXWindow* pane = window->tabBook->childAtIndex(2 * tab + 1);
    ASSERT_TRUE(testsupport::run_gui_until([&] { return pane->shown(); }, 3000));
    // Layout, then paint everything now, and let the X server finish drawing.
    window->forceRefresh();
    testsupport::pump_gui();
    window->layout();
    testsupport::test_app()->repaint();
    testsupport::test_app()->flush(TRUE);
    testsupport::pump_gui();
    testsupport::test_app()->flush(TRUE);
    const std::string png = std::string(out_dir) + "/tab" + std::to_string(tab) + "-" +
                            std::to_string(window->getWidth()) + "-" + lang + ".png";
    EXPECT_TRUE(capture(window, png)) << png;
  }
  delete window;
  tv::reset_catalogue_for_tests();
  ASSERT_EQ(chdir(here), 0);
}

}  // namespace
