// The persistent settings: the "settings" and "position" sections of the
// application's registry, with their defaults and the checks applied when
// they are read at start-up. Only the Save command writes them.
#pragma once

#include <string>

namespace FX {
class FXRegistry;
}
class X_SRV_K_Window;

namespace tv {

struct WindowGeometry {
  int x = 130;
  int y = 130;
  int w = 550;
  int h = 380;
};

struct BurnDelays {
  int flash = 3;    // seconds after the PIC program
  int sysfont = 6;  // seconds before the system font
};

struct SavedSettings {
  std::string language;  // e.g. "ENGLISH en"
  std::string com_port;  // e.g. "com3"
  BurnDelays delays;
  WindowGeometry geometry;
  bool verify = false;  // the burn page's Verify box
};

// "position" x, y, w, h. A stored value out of its range (x, y, h: 0..1000;
// w: 0..1500) falls back: x, y to 130, w to 600, h to 380.
WindowGeometry read_position(FX::FXRegistry& registry);

// "settings" flash_delay and sysfont_delay, taken as stored (also outside the
// spinners' ranges); 3 and 6 when absent.
BurnDelays read_delays(FX::FXRegistry& registry);

// "settings" verify: the burn page's Verify box; off when absent.
bool read_verify(FX::FXRegistry& registry);

// A stored string; false (and `value` untouched) when the entry is absent.
bool read_stored_string(FX::FXRegistry& registry, const char* section, const char* key,
                        std::string* value);

// Writes every value in the order the Save command uses, then writes the
// registry to its file at once. Returns false when the file could not be written.
bool save_settings(FX::FXRegistry& registry, const SavedSettings& settings);

// The Save command (ID 69): the window's settings values and its current
// geometry, into the registry of the window's application.
bool save_window_settings(X_SRV_K_Window& window);

}  // namespace tv
