// The window's saved settings as tvbox-burn sees them: the ports of the boxes
// the engineer set up in the window, the burn's delays and its Verify box, and how
// many saved logs to keep. Read from the toolkit's settings file as text,
// without the toolkit.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "burn/burn_log_file.h"

namespace tv {

struct WindowSettings {
  // Every box port saved ("comm", then the others of "ports"), each once;
  // empty when none is saved.
  std::vector<std::string> ports;
  LogKeeping keeping;
  // The burn settings the window saved. Empty when it saved none, or saved a
  // value tvbox-burn cannot take: then `warnings` says so under its key, and
  // the default counts (unless an option decides).
  std::optional<int> flash_delay, sysfont_delay;
  std::optional<bool> verify;
  std::vector<std::pair<std::string, std::string>> warnings;  // key, what is wrong with its value
};

// $HOME/.foxrc/Harnvale/TV Box, where the window's registry lives.
std::string window_settings_path();

// The settings in the file at `path`; the defaults for a file that is
// missing or lacks them.
WindowSettings read_window_settings(const std::string& path);

}  // namespace tv
