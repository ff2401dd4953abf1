// Entry of the GUI test programs: one FXApp for the whole process, created on
// the display named by DISPLAY, with HOME pointed at a fresh folder so that no
// test reads or writes the user's own registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/clock.h"
#ifdef TVBOX_TEST_WITH_SHELL
#include "shell/ui_queue.h"
#endif
#include "support/fox_app.h"
#include "support/temp_dir.h"
#include "support/x_display.h"

namespace testsupport {
namespace {
FX::FXApp* app = nullptr;
}

FX::FXApp* test_app() { return app; }

void pump_gui() {
  app->runWhileEvents();
#ifdef TVBOX_TEST_WITH_SHELL
  // What the window's workers handed over is shown on the GUI thread.
  tv::ui_queue().drain();
  app->runWhileEvents();
#endif
}

bool usable(FX::FXWindow* widget) {
  app->forceRefresh();
  return widget->isEnabled();
}

bool run_gui_until(const std::function<bool()>& condition, int timeout_ms) {
  tv::Deadline deadline(timeout_ms);
  for (;;) {
    pump_gui();
    if (condition()) return true;
    if (deadline.expired()) return false;
    tv::sleep_ms(2);
  }
}

}  // namespace testsupport

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (CTest does so to learn their names) needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!std::getenv("DISPLAY") || !testsupport::display_answers(10000)) {
    std::fprintf(stderr, "GUI tests need an X display (run them under Xvfb)\n");
    return 1;
  }
  // The application's registry lives under HOME: a scratch one keeps the
  // user's settings out of the tests. Made before the application, so it is
  // removed only after the application is gone.
  static testsupport::TempDir home("gui-home");
  setenv("HOME", home.path().c_str(), 1);
  unsetenv("XDG_STATE_HOME");  // the saved burn logs go under the scratch HOME too
  // The tests bring their own data files: an installed package's (a Russian
  // lang.ru in /usr/share/tvbox) must not count. CTest's environment does not
  // reach tests it lists only when they run, so the folder is set here too.
  setenv("TVBOX_DATA_DIR", TVBOX_BINARY_DIR "/tests/no-installed-data", 0);
  static FX::FXApp application("TV Box", "Harnvale");
  testsupport::app = &application;
  application.init(argc, argv);
  testsupport::release_display_probe();  // the application holds its own connection now
  application.create();
  return RUN_ALL_TESTS();
}
