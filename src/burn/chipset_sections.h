// The sections of a chipset file and everything the program knows about each,
// in one table: the marker that opens it in the file, the flag the load sets
// for it, how the burn writes it, the lines the burn log shows for it and the
// caption of its box in the window. The loader, the burn and the window all
// read this table; nothing else lists the sections.
#pragma once

#include <cstddef>

namespace tv {

// Numbered in the order of the burn's stages (front ends count stages by these
// numbers); the header, which is never burned, comes last.
enum class Section { Pic, Flash, Osd, OsdRusFont, OsdSysFont, Header };
constexpr int kSectionCount = 6;

// How the burn writes a section.
enum class SectionWriter {
  None,        // the header is only shown, never written
  PicRecords,  // the PIC loader's own records, from the image the load built
  HexRecords,  // 16-byte records into the flash or the OSD memory; can be read back
  Font,        // glyph rows into the OSD font pages
  SystemFont,  // the same, after clearing the system font page
};

struct SectionInfo {
  Section section;
  const char* marker;  // opens the section in the file
  const char* box;     // the window's check box
  const char* stage;   // names the stage in the burn log ("Burning failed: FLASH.")
  SectionWriter writer;
  const char* start_line;  // logged when the stage begins (the PIC's by the start command)
  const char* done_line;   // logged when it ends well
  const char* option;      // its word in tvbox-burn --sections; null: not chosen by name
  const char* short_name;  // tvbox-burn's name of the stage, in its live line and summary
};

// The table, in the order of the file's markers, which is also the order of
// the window's section boxes: the row of a section is its box.
const SectionInfo (&section_table())[kSectionCount];
int section_row(Section section);
inline const SectionInfo& section_info(Section section) { return section_table()[section_row(section)]; }
// The load's flag for a section: one bit each.
constexpr unsigned section_flag(Section section) { return 1u << static_cast<unsigned>(section); }

}  // namespace tv
