#include "shell/settings.h"

#include <fox-1.6/fx.h>

#include "burn/settings_keys.h"
#include "station/saved_ports.h"

namespace tv {
namespace {

const char* const kSettings = kSettingsSectionName;
const char kPosition[] = "position";

// A position value, or `out_of_range` when the stored one is outside 0..limit.
int read_position_value(FX::FXRegistry& registry, const char* key, int fallback_default, int limit,
                        int out_of_range) {
  int value = registry.readIntEntry(kPosition, key, fallback_default);
  return (value < 0 || value > limit) ? out_of_range : value;
}

// A stored string; `value` untouched (its default) when the entry is absent.
bool read_string(FX::FXRegistry& registry, const char* key, std::string* value) {
  if (!registry.existingEntry(kSettings, key)) return false;
  const char* stored = registry.readStringEntry(kSettings, key, "");
  *value = stored ? stored : "";
  return true;
}

}  // namespace

SavedSettings load_settings(FX::FXRegistry& registry) {
  SavedSettings settings;
  settings.language_stored = read_string(registry, "lang", &settings.language);
  read_string(registry, kPortKey, &settings.com_port);
  std::string ports;
  read_string(registry, kBoxPortsKey, &ports);
  settings.box_ports = saved_box_ports(settings.com_port, ports);
  settings.delays.flash = registry.readIntEntry(kSettings, kFlashDelayKey, settings.delays.flash);
  settings.delays.sysfont = registry.readIntEntry(kSettings, kSysfontDelayKey, settings.delays.sysfont);
  settings.verify = registry.readIntEntry(kSettings, kVerifyKey, settings.verify ? 1 : 0) != 0;
  WindowGeometry& geometry = settings.geometry;
  geometry.w = read_position_value(registry, "w", geometry.w, 1500, 600);
  geometry.h = read_position_value(registry, "h", geometry.h, 1000, 380);
  geometry.x = read_position_value(registry, "x", geometry.x, 1000, 130);
  geometry.y = read_position_value(registry, "y", geometry.y, 1000, 130);
  return settings;
}

LogKeeping read_log_keeping(FX::FXRegistry& registry) {
  const LogKeeping defaults;
  return checked_keeping(registry.readIntEntry(kSettings, kKeepLogsKey, defaults.files),
                         registry.readIntEntry(kSettings, kKeepDaysKey, defaults.days));
}

bool save_settings(FX::FXRegistry& registry, const SavedSettings& settings) {
  registry.writeStringEntry(kSettings, "lang", settings.language.c_str());
  registry.writeStringEntry(kSettings, kPortKey, settings.com_port.c_str());
  registry.writeStringEntry(
      kSettings, kBoxPortsKey,
      box_ports_setting(saved_box_ports(settings.com_port, box_ports_setting(settings.box_ports))).c_str());
  registry.writeIntEntry(kSettings, kFlashDelayKey, settings.delays.flash);
  registry.writeIntEntry(kSettings, kSysfontDelayKey, settings.delays.sysfont);
  registry.writeIntEntry(kSettings, kVerifyKey, settings.verify ? 1 : 0);
  registry.writeIntEntry(kPosition, "w", settings.geometry.w);
  registry.writeIntEntry(kPosition, "h", settings.geometry.h);
  registry.writeIntEntry(kPosition, "x", settings.geometry.x);
  registry.writeIntEntry(kPosition, "y", settings.geometry.y);
  return registry.write();
}

}  // namespace tv
