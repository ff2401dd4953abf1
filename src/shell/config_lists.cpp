#include "shell/config_lists.h"

#include <fox-1.6/fx.h>
#include <fox-1.6/FXCP1251Codec.h>
#include <sys/stat.h>

#include <cstdio>

#include "base/trace.h"
#include "shell/console_page.h"

namespace tv {
namespace {

const char* const kSections[] = {"slave_adr", "cmd", "adr", "dt"};

bool is_regular_file(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> read_items(FX::FXSettings& settings, const char* section) {
  std::vector<std::string> items;
  for (int i = 0; i < kMaxListItems; ++i) {
    char key[16];
    std::snprintf(key, sizeof(key), "it_%d", i);
    if (!settings.existingEntry(section, key)) break;
    items.push_back(list_item_for_display(settings.readStringEntry(section, key, "")));
  }
  return items;
}

void fill_combo(FX::FXComboBox* combo, const std::vector<std::string>& items) {
  if (!combo) return;
  combo->clearItems();
  for (const std::string& item : items) {
    trace("(%s)\n", item.c_str());
    combo->appendItem(item.c_str());
  }
}

}  // namespace

bool is_utf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || lead == 0xC0 || lead == 0xC1 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// The engineers' lists were written on Windows, in Windows-1251 like the
// language files; a list saved as UTF-8 is taken as it is. A Windows-1251
// text of Cyrillic notes is practically never valid UTF-8, so the test tells
// the two apart.
std::string list_item_for_display(const std::string& raw) {
  if (is_utf8(raw)) return raw;
  FX::FXCP1251Codec codec;
  FX::FXString converted = codec.mb2utf(FX::FXString(raw.c_str()));
  return std::string(converted.text(), converted.length());
}

bool read_config_lists(const std::string& path, ConfigLists* lists) {
  if (!is_regular_file(path)) return false;
  FX::FXSettings settings;
  if (!settings.parseFile(path.c_str(), false)) return false;
  bool any_section = false;
  for (const char* section : kSections) any_section |= settings.existingSection(section);
  if (!any_section) return false;
  lists->slave_adr = read_items(settings, "slave_adr");
  lists->cmd = read_items(settings, "cmd");
  lists->adr = read_items(settings, "adr");
  lists->dt = read_items(settings, "dt");
  return true;
}

void apply_config_lists(ConsolePage& console, const ConfigLists& lists) {
  fill_combo(console.slaveAdrCombo, lists.slave_adr);
  fill_combo(console.cmdCombo, lists.cmd);
  fill_combo(console.adrCombo, lists.adr);
  fill_combo(console.dataCombo, lists.dt);
}

}  // namespace tv
