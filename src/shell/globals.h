// Process-wide values of the program, owned by start-up.
#pragma once

namespace FX {
class FXApp;
}
class X_SRV_K_Window;

extern FX::FXApp* application;       // the toolkit application object
extern X_SRV_K_Window* main_window;  // the one main window
extern int control_port_number;      // switch c; default 5 ("COM5")
extern bool extended_mode;           // switch a: the register console is shown
