#include "cli/window_settings.h"

#include <cstdlib>
#include <fstream>

namespace tv {
namespace {

constexpr const char* kSettingsSection = "[settings]";

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

}  // namespace

std::string window_settings_path() {
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.foxrc/Harnvale/TV Box";
}

WindowSettings read_window_settings(const std::string& path) {
  WindowSettings settings;
  std::ifstream in(path);
  bool in_settings = false;
  int files = settings.keeping.files, days = settings.keeping.days;
  for (std::string line; std::getline(in, line);) {
    line = trimmed(line);
    if (!line.empty() && line.front() == '[') {
      in_settings = line == kSettingsSection;
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_settings || equals == std::string::npos) continue;
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = unquoted(trimmed(line.substr(equals + 1)));
    if (key == "comm")
      settings.port = value;
    else if (key == kKeepLogsKey)
      files = number_or(value, files);
    else if (key == kKeepDaysKey)
      days = number_or(value, days);
  }
  settings.keeping = checked_keeping(files, days);
  return settings;
}

}  // namespace tv
