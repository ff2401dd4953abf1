// The process-wide values that start-up sets and everything else reads.
#include "shell/globals.h"

FX::FXApp* application = nullptr;
X_SRV_K_Window* main_window = nullptr;
int control_port_number = 5;
bool extended_mode = false;
