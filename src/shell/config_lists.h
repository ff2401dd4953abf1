// The configuration-lists file "h_tvbox.cfg": the items offered by the
// register console's SlaveAdr, Cmd, Adress and Data combo boxes. It is a
// settings file ("[section]" headers, key=value lines) with up to 1000 items
// per section under it_0 ... it_999; the program only reads it.
#pragma once

#include <string>
#include <vector>

namespace tv {

class ConsolePage;

constexpr int kMaxListItems = 1000;

struct ConfigLists {
  std::vector<std::string> slave_adr;
  std::vector<std::string> cmd;
  std::vector<std::string> adr;
  std::vector<std::string> dt;
};

// Reads the four lists; each stops at its first missing index. Returns false
// (and leaves `lists` untouched) when the file is missing, is not a regular
// file, or holds none of the four sections, so that a wrong file never
// empties the lists the window already offers.
bool read_config_lists(const std::string& path, ConfigLists* lists);

// An item as the window shows it (UTF-8): a Windows-1251 item is converted,
// one that is UTF-8 already is kept.
std::string list_item_for_display(const std::string& raw);
bool is_utf8(const std::string& text);

// Replaces the items of the register console's four combo boxes, tracing each.
void apply_config_lists(ConsolePage& console, const ConfigLists& lists);

}  // namespace tv
