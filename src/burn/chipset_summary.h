// What a chipset file holds, told without a box: per section its lines,
// records, address range, the flash sectors it touches and the glyphs of a
// font; the file's size and digest; the faults, warnings and notes of the load. A front end
// prints it (tvbox-burn --info).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn/chipset_file.h"

namespace tv {

struct SectionSummary {
  Section section = Section::Header;
  bool present = false;
  int lines = 0;             // as the load counts them (the header: its lines after the marker)
  int records = 0;           // PIC: data records the load takes; FLASH, OSD: 16-byte writes of a burn
  int first_address = -1;    // lowest byte address written; -1 when none
  int last_address = -1;     // highest
  int bytes = 0;             // FLASH, OSD: distinct bytes a burn writes
  std::vector<int> sectors;  // FLASH: the 4096-byte sectors it writes, by number
  int glyphs = 0;            // fonts: glyphs that have rows
};

struct LoadFault {
  int line = 0;  // the file's line it names; 0 when it names none
  std::string text;
};

struct ChipsetSummary {
  std::string path;
  int64_t size = -1;  // -1 when the file could not be read
  std::string sha256;
  std::vector<SectionSummary> sections;  // in the order of the file's markers
  std::vector<LoadFault> faults;         // the load's bold red lines, in its order
  std::vector<LoadFault> warnings;       // its plain red ones: named, but the file burns
  std::vector<std::string> notes;        // what the load passed over (a byte-order mark)
};

// Reads the file's bytes for the digest and walks the loaded sections.
// `loaded` is load_chipset(path).
ChipsetSummary summarize_chipset(const std::string& path, const LoadedChipset& loaded);

// The line number a load fault names ("Line 12: ...", "... the first in line
// 12."), 0 when none.
int fault_line_number(const std::string& text);

// Seconds the 4-byte reads of a read-back take on the line at 57600 baud:
// each is 12 bytes out and 16 back (the echo and the data).
double read_back_seconds(size_t reads);

}  // namespace tv
