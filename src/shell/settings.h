// The persistent settings: the "settings" and "position" sections of the
// application's registry, with their defaults and the checks applied when
// they are read at start-up. Only the Save command writes them.
#pragma once

#include <string>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/burn_verification.h"
#include "link/ports.h"

namespace FX {
class FXRegistry;
}

namespace tv {

// Every stored setting with its default: what a first start (an empty
// registry) gets, and what a value out of its range falls back to.
struct WindowGeometry {
  int x = 130;
  int y = 130;
  int w = 550;
  int h = 380;
};

struct BurnDelays {
  int flash = kFlashDelay.initial;      // seconds after the PIC program
  int sysfont = kSysfontDelay.initial;  // seconds before the system font
};

struct SavedSettings {
  std::string language = "RUSSIAN ru";             // a list entry: name, blank, file suffix
  bool language_stored = false;                    // false: the first start, in Russian
  std::string com_port = kDefaultProgrammingPort;  // the first box's
  // Every box of the burn station, the first one first (saved_box_ports of
  // "comm" and "ports"): an older file without "ports" has its one box.
  std::vector<std::string> box_ports;
  BurnDelays delays;
  WindowGeometry geometry;
  bool verify = kVerifyByDefault;  // the burn page's Verify box
};

// Reads every key once, in one place, with its default and its check:
//   settings lang, comm        strings, taken as stored
//   settings ports             the station's boxes, after comm
//   settings flash_delay,      taken as stored (also outside the spinners'
//            sysfont_delay     ranges)
//   settings verify            non-zero is on; absent is on (a new settings
//                              file reads back what it burns)
//   position x, y, w, h        out of range (x, y, h: 0..1000; w: 0..1500)
//                              falls back: x, y to 130, w to 600, h to 380
SavedSettings load_settings(FX::FXRegistry& registry);

// How many saved burn logs the default folder keeps: "settings" keep_logs and
// keep_days, set by hand in the settings file (the defaults when absent or
// out of range). Read at each burn, so a change counts without a restart.
LogKeeping read_log_keeping(FX::FXRegistry& registry);

// Writes every value in the order the Save command uses, then writes the
// registry to its file at once. Returns false when the file could not be written.
bool save_settings(FX::FXRegistry& registry, const SavedSettings& settings);

}  // namespace tv
