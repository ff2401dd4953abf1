// The one FOX application of a GUI test program, made by fox_test_main.cpp
// before the tests run (FOX allows one FXApp per process). Needs an X display:
// CI runs these programs under Xvfb.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>

namespace testsupport {

FX::FXApp* test_app();

// Runs the event loop (and the program's worker-to-GUI queue) until
// `condition` holds or `timeout_ms` passes; returns whether it held.
bool run_gui_until(const std::function<bool()>& condition, int timeout_ms);

// Lets every pending event, timer and queued update run once.
void pump_gui();

// Whether the user can use `widget` now: buttons ask the window on each GUI
// update whether they may be used, so the update pass runs first.
bool usable(FX::FXWindow* widget);

}  // namespace testsupport
