#include "cli/window_settings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "burn/burn_sequence.h"
#include "burn/burn_verification.h"
#include "burn/settings_keys.h"
#include "station/saved_ports.h"

namespace tv {
namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The toolkit quotes a value that needs it ("a b", "x\"y") and escapes
// within the quotes as C does.
std::string unquoted(const std::string& value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return value;
  std::string text;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 2 < value.size()) {
      c = value[++i];
      if (c == 'n')
        c = '\n';
      else if (c == 't')
        c = '\t';
    }
    text += c;
  }
  return text;
}

int number_or(const std::string& text, int fallback) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && *end == '\0' && value >= 0 && value <= 1000000 ? int(value) : fallback;
}

bool whole_number(const std::string& text, long* value) {
  errno = 0;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && end != text.c_str() && *end == '\0' && *value >= INT_MIN && *value <= INT_MAX;
}

using Warnings = std::vector<std::pair<std::string, std::string>>;

// A key given twice counts by its last value, as the toolkit reads it.
void forget(const std::string& key, Warnings* warnings) {
  for (auto it = warnings->begin(); it != warnings->end();)
    it = it->first == key ? warnings->erase(it) : it + 1;
}

void cannot_take(const std::string& key, const std::string& value, const std::string& wanted,
                 const std::string& instead, Warnings* warnings) {
  warnings->push_back(
      {key, "the window's saved " + key + "=" + value + " is not " + wanted + ": " + instead + " is used"});
}

// The window takes a stored delay as it is; tvbox-burn only within the
// spinner's range, since a box given less time may miss the next stage.
void take_delay(const std::string& key, const std::string& value, const DelaySetting& range,
                std::optional<int>* delay, Warnings* warnings) {
  forget(key, warnings);
  long seconds = 0;
  if (whole_number(value, &seconds) && seconds >= range.min && seconds <= range.max) {
    *delay = int(seconds);
    return;
  }
  delay->reset();
  cannot_take(key, value,
              "whole seconds from " + std::to_string(range.min) + " to " + std::to_string(range.max),
              "the default " + std::to_string(range.initial) + " s", warnings);
}

// As the window reads it: non-zero is on.
void take_verify(const std::string& value, std::optional<bool>* verify, Warnings* warnings) {
  forget(kVerifyKey, warnings);
  long number = 0;
  if (whole_number(value, &number)) {
    *verify = number != 0;
    return;
  }
  verify->reset();
  cannot_take(kVerifyKey, value, "a number (0 off, 1 on)",
              std::string("the default, verify ") + (kVerifyByDefault ? "on" : "off"), warnings);
}

}  // namespace

std::string window_settings_path() {
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.foxrc/Harnvale/TV Box";
}

WindowSettings read_window_settings(const std::string& path) {
  WindowSettings settings;
  std::ifstream in(path);
  const std::string settings_header = std::string("[") + kSettingsSectionName + "]";
  bool in_settings = false;
  int files = settings.keeping.files, days = settings.keeping.days;
  std::string first_port, box_ports;
  for (std::string line; std::getline(in, line);) {
    line = trimmed(line);
    if (!line.empty() && line.front() == '[') {
      in_settings = line == settings_header;
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_settings || equals == std::string::npos) continue;
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = unquoted(trimmed(line.substr(equals + 1)));
    if (key == kPortKey)
      first_port = value;
    else if (key == kBoxPortsKey)
      box_ports = value;
    else if (key == kFlashDelayKey)
      take_delay(key, value, kFlashDelay, &settings.flash_delay, &settings.warnings);
    else if (key == kSysfontDelayKey)
      take_delay(key, value, kSysfontDelay, &settings.sysfont_delay, &settings.warnings);
    else if (key == kVerifyKey)
      take_verify(value, &settings.verify, &settings.warnings);
    else if (key == kKeepLogsKey)
      files = number_or(value, files);
    else if (key == kKeepDaysKey)
      days = number_or(value, days);
  }
  settings.keeping = checked_keeping(files, days);
  settings.ports = saved_box_ports(first_port, box_ports);
  return settings;
}

}  // namespace tv
