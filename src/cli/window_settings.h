// The window's saved settings as tvbox-burn sees them: the port the engineer
// chose on the settings page, and how many saved logs to keep. Read from the
// toolkit's settings file as text, without the toolkit.
#pragma once

#include <string>

#include "burn/burn_log_file.h"

namespace tv {

struct WindowSettings {
  std::string port;  // "settings"/"comm"; empty when none is saved
  LogKeeping keeping;
};

// $HOME/.foxrc/Harnvale/TV Box, where the window's registry lives.
std::string window_settings_path();

// The settings in the file at `path`; the defaults for a file that is
// missing or lacks them.
WindowSettings read_window_settings(const std::string& path);

}  // namespace tv
