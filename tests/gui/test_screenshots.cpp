// Pictures of every tab and of the first menu, in English and in Russian,
// for a person to look at (captions readable, icons in place, nothing behind
// a sideways scroll bar at the window's first size). They land in <build>/screenshots, or in the
// folder TVBOX_SCREENSHOTS names; TVBOX_SCREENSHOT_LANG=lang.r8 (say) takes
// one language file instead of the two. The window is built with data/ as
// the working directory, so the shipped language files and pictures are used,
// and the burn tab shows the sample chipset file loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "boxsim/box_sim.h"
#include "shell/box_row.h"
#include "shell/burn_page.h"
#include "shell/console_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/window_ids.h"
#include "station/station.h"
#include "support/fox_app.h"
#include "support/temp_dir.h"
#include "text/catalogue.h"

using namespace FX;

namespace {

// The screen as the user sees it (tool tips and menus included), cut to the
// window.
bool capture(FXWindow* window, const std::string& png) {
  FXint x = 0, y = 0;
  window->translateCoordinatesTo(x, y, window->getRoot(), 0, 0);
  char command[1024];
  std::snprintf(command, sizeof command, "import -window root -crop %dx%d+%d+%d +repage '%s'",
                window->getWidth(), window->getHeight(), x, y, png.c_str());
  return std::system(command) == 0;
}

// Whether `widget` lies wholly inside what `scroll` shows now.
bool in_view(FXWindow* widget, FXScrollWindow* scroll) {
  FXint x = 0, y = 0;
  widget->translateCoordinatesTo(x, y, scroll, 0, 0);
  return x >= 0 && y >= 0 && x + widget->getWidth() <= scroll->getViewportWidth() &&
         y + widget->getHeight() <= scroll->getViewportHeight();
}

// A picture of one flat colour means nothing was drawn.
bool has_content(const std::string& png) {
  FILE* out = popen(("convert '" + png + "' -format '%[fx:standard_deviation]' info:").c_str(), "r");
  if (!out) return false;
  double deviation = 0;
  const bool read = std::fscanf(out, "%lf", &deviation) == 1;
  pclose(out);
  return read && deviation > 0.01;
}

void shoot_every_tab(const std::string& out_dir, const std::string& lang) {
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir((std::string(TVBOX_SOURCE_DIR) + "/data").c_str()), 0);
  tv::reset_catalogue_for_tests();
  tv::set_language_file(lang.c_str());

  auto* window = new X_SRV_K_Window(testsupport::test_app());
  window->create();
  window->hideStartupTabs(true);
  window->setPortLamp(true);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return window->shown(); }, 10000));

  // Every tab at the size a first start gives the window, then the console
  // also at a size an engineer would give it.
  window->resize(550, 380);
  tv::set_file_dialog_hook([](const tv::FileDialogRequest&, std::string* chosen) {
    *chosen = std::string(TVBOX_SOURCE_DIR) + "/data/sample.hv";
    return true;
  });
  window->handle(nullptr, FXSEL(SEL_COMMAND, tv::ID_OPEN_CHIPSET), nullptr);
  tv::set_file_dialog_hook({});
  // The last line a burn leaves: a path without a blank, to be read whole.
  window->burn().appendLog(
      "Burn log saved in /home/engineer/.local/state/tvbox/logs/2026-12-08_07-47-28_com3.log\n",
      tv::kStyleBlue);
  // The console twice at that size: its fields scroll, the second picture
  // shows their end.
  // The burn tab as it is after a failed burn: Resume shown as well.
  window->burn().resumeButton->show();
  window->burn().resumeButton->getParent()->recalc();
  const int tabs[] = {0, 1, 4, 4, 5, 4};
  for (size_t shot = 0; shot < sizeof tabs / sizeof tabs[0]; ++shot) {
    const int tab = tabs[shot];
    if (shot == 5) window->resize(900, 520);
    if (shot == 3) window->console().commandScroll->setPosition(0, -100000);
    window->tabBook->setCurrent(tab);
    FXWindow* pane = window->tabBook->childAtIndex(2 * tab + 1);
    ASSERT_TRUE(testsupport::run_gui_until([&] { return pane->shown(); }, 10000));
    if (shot == 5) window->console().commandScroll->setPosition(0, 0);  // from the top again
    // Layout, then paint everything now, and let the X server finish drawing.
    window->forceRefresh();
    testsupport::pump_gui();
    window->layout();
    testsupport::test_app()->repaint();
    testsupport::test_app()->flush(TRUE);
    testsupport::pump_gui();
    testsupport::test_app()->flush(TRUE);
    const std::string png = std::string(out_dir) + "/tab" + std::to_string(tab) + "-" +
                            std::to_string(window->getWidth()) + (shot == 3 ? "-end" : "") + "-" + lang +
                            ".png";
    EXPECT_TRUE(capture(window, png)) << png;
    if (tab == 1) {
      // Every button of the burn tab whole within the window.
      tv::BurnPage& burn = window->burn();
      for (FXWindow* button : std::initializer_list<FXWindow*>{burn.openButton, burn.burnButton,
                                                               burn.compareButton, burn.resumeButton}) {
        FXint left = 0, top = 0;
        button->translateCoordinatesTo(left, top, window, 0, 0);
        EXPECT_LE(left + button->getWidth(), window->getWidth()) << lang;
        EXPECT_GE(button->getWidth(), button->getDefaultWidth()) << lang << ": a button cut short";
      }
    }
    if (tab == 4 && shot == 2) {
      // The fields and the two buttons that use them, on screen together.
      tv::ConsolePage& console = window->console();
      for (FXWindow* control :
           std::initializer_list<FXWindow*>{console.slaveAdrCombo, console.cmdCombo, console.adrCombo,
                                            console.dataCombo, console.writeButton, console.readButton})
        EXPECT_TRUE(in_view(control, console.commandScroll)) << lang;
    }
    EXPECT_TRUE(has_content(png)) << png;
  }
  // The first menu, dropped down over the burn tab at the first size.
  window->resize(550, 380);
  window->tabBook->setCurrent(1);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return window->tabBook->childAtIndex(3)->shown(); }, 10000));
  window->layout();
  FXint x = 0, y = 0;
  window->menuBar->translateCoordinatesTo(x, y, window->getRoot(), 0, window->menuBar->getHeight());
  window->menuPane->popup(nullptr, x, y);
  testsupport::pump_gui();
  testsupport::test_app()->repaint();
  testsupport::test_app()->flush(TRUE);
  testsupport::pump_gui();
  const std::string menu_png = out_dir + "/menu-550-" + lang + ".png";
  EXPECT_TRUE(capture(window, menu_png)) << menu_png;
  window->menuPane->popdown();
  delete window;
  tv::reset_catalogue_for_tests();
  ASSERT_EQ(chdir(here), 0);
}

// The burn tab as a station of four boxes at 800x600, every box in the
// middle of its flash stage: the rows whole, their figures readable.
void shoot_station(const std::string& out_dir, const std::string& lang) {
  testsupport::TempDir ports("shots");
  testsupport::ScopedEnv port_dir("TVBOX_PORT_DIR", ports.path().c_str());
  const char* const names[4] = {"com3", "com4", "com6", "com7"};
  const char* const controls[4] = {"com5", "com14", "com16", "com17"};
  boxsim::BoxSimulator sims[4];
  boxsim::Faults slow;
  slow.answer_delay_ms = 2;  // the boxes stay mid-flash while the picture is taken
  for (int i = 0; i < 4; ++i) {
    std::string error;
    ASSERT_TRUE(sims[i].start(ports.path(), &error, names[i], controls[i])) << error;
    sims[i].set_faults(slow);
  }
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir((std::string(TVBOX_SOURCE_DIR) + "/data").c_str()), 0);
  tv::reset_catalogue_for_tests();
  tv::set_language_file(lang.c_str());
  auto* window = new X_SRV_K_Window(testsupport::test_app());
  window->create();
  window->hideStartupTabs(false);
  window->flashDelay = 0;
  window->sysfontDelay = 0;
  window->resize(800, 600);
  window->ports().apply(names[0]);
  tv::BurnPage& burn = window->burn();
  for (int i = 1; i < 4; ++i) ASSERT_TRUE(burn.addBox(names[i], nullptr)) << names[i];
  tv::set_file_dialog_hook([](const tv::FileDialogRequest&, std::string* chosen) {
    *chosen = std::string(TVBOX_SOURCE_DIR) + "/data/sample.hv";
    return true;
  });
  window->handle(nullptr, FXSEL(SEL_COMMAND, tv::ID_OPEN_CHIPSET), nullptr);
  tv::set_file_dialog_hook({});
  window->tabBook->setCurrent(1);
  window->handle(nullptr, FXSEL(SEL_COMMAND, tv::ID_BURN), nullptr);
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] {
        for (tv::BoxRow* row : burn.rows())
          if (row->box().status().stage != "FLASH" || row->box().status().percent < 5) return false;
        return true;
      },
      120000));
  testsupport::run_gui_until([] { return false; }, 600);  // two ticks of the rows
  window->layout();
  testsupport::test_app()->repaint();
  testsupport::test_app()->flush(TRUE);
  testsupport::pump_gui();
  const std::string png = out_dir + "/station-800-" + lang + ".png";
  EXPECT_TRUE(capture(window, png)) << png;
  EXPECT_TRUE(has_content(png)) << png;
  for (tv::BoxRow* row : burn.rows()) {
    FXint left = 0, top = 0;
    row->moreButton->translateCoordinatesTo(left, top, window, 0, 0);
    EXPECT_LE(left + row->moreButton->getWidth(), window->getWidth())
        << lang << ": a row runs off the window";
    EXPECT_GE(row->bar->getWidth(), 100) << lang << ": the row's bar is squeezed";
  }
  burn.cancelAndJoinBurn();
  delete window;
  tv::reset_catalogue_for_tests();
  ASSERT_EQ(chdir(here), 0);
}

TEST(Screenshots, EveryTab) {
  if (std::system("command -v import >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick's import and convert are needed for the pictures";
  const char* wanted_dir = std::getenv("TVBOX_SCREENSHOTS");
  const std::string out_dir = wanted_dir ? wanted_dir : std::string(TVBOX_BINARY_DIR) + "/screenshots";
  ASSERT_EQ(std::system(("mkdir -p '" + out_dir + "'").c_str()), 0);
  if (const char* language = std::getenv("TVBOX_SCREENSHOT_LANG")) {
    shoot_every_tab(out_dir, language);
  } else {
    shoot_every_tab(out_dir, "lang.en");
    shoot_every_tab(out_dir, "lang.ru");
  }
  for (const char* language : {"lang.en", "lang.ru"}) shoot_station(out_dir, language);
}

}  // namespace
