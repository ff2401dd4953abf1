#include "shell/config_lists.h"

#include <fox-1.6/fx.h>
#include <sys/stat.h>

#include <cstdio>

#include "base/trace.h"
#include "shell/main_window.h"

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
    items.push_back(settings.readStringEntry(section, key, ""));
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

void apply_config_lists(X_SRV_K_Window& window, const ConfigLists& lists) {
  fill_combo(window.slaveAdrCombo, lists.slave_adr);
  fill_combo(window.cmdCombo, lists.cmd);
  fill_combo(window.adrCombo, lists.adr);
  fill_combo(window.dataCombo, lists.dt);
}

}  // namespace tv
