// The progress bar setter of the box link. Code below the GUI (the control
// exchange, the burn workers) reports progress here; the GUI installs a
// handler that carries the value to the progress bar on the GUI thread, in
// order with everything else the worker reports.
#pragma once

#include <functional>

namespace tv {

using ProgressHandler = std::function<void(int percent)>;

// Installs the handler (an empty one drops progress). Set it before any worker
// starts; it is called from whichever thread reports.
void set_progress_handler(ProgressHandler handler);

// Clamps the value to 0..100 and hands it to the handler.
void set_progress(int value);

}  // namespace tv
