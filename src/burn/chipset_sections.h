// The sections of a chipset file and everything the program knows about each,
// in one table: the marker that opens it in the file, the flag the load sets
// for it, how the burn writes it, the lines the burn log shows for it and the
// caption of its box in the window. The loader, the burn and the window all
// read this table; nothing else lists the sections.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv {

// Numbered in the order of the burn's stages (front ends count stages by these
// numbers); the header, which is never burned, comes last.
enum class Section { Pic, Flash, Osd, OsdRusFont, OsdSysFont, Header };
constexpr int kSectionCount = 6;
// The stages a burn can run: every section but the header.
constexpr int kBurnStageCount = kSectionCount - 1;

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
  uint8_t memory;          // HexRecords: the box memory its records go to (the packets' target byte)
  int memory_end;          // HexRecords: the first address past that memory; a record ends before it
  // What the burn's time estimate counts for the stage: the seconds it spends
  // before its first record (the hand-shake, a clear of memory or font pages)
  // and the bytes one line of the section costs on the line, both ways.
  double opening_seconds;
  int line_bytes;
};

// The packets one line of the section costs, each sent and answered before
// the next: a font row is two bytes, written one packet each; every other
// line is one packet (a 16-byte record, a PIC record).
inline int exchanges_per_line(Section section) {
  return section == Section::OsdRusFont || section == Section::OsdSysFont ? 2 : 1;
}
// The bytes of the box's answer to each of those packets: a PIC record is
// echoed whole, a font byte's packet too, a 16-byte record gets six.
inline int answer_bytes(Section section) {
  switch (section) {
    case Section::Pic: return 26;
    case Section::OsdRusFont:
    case Section::OsdSysFont: return 12;
    default: return 6;
  }
}

// The table, in the order of the file's markers, which is also the order of
// the window's section boxes: the row of a section is its box.
const SectionInfo (&section_table())[kSectionCount];
int section_row(Section section);
inline const SectionInfo& section_info(Section section) { return section_table()[section_row(section)]; }
// The burn keeps a section's lines (every section but the header and the PIC
// program, which is kept as an image), and for 16-byte records their bytes.
inline bool lines_kept(Section section) {
  const SectionWriter writer = section_info(section).writer;
  return writer != SectionWriter::None && writer != SectionWriter::PicRecords;
}
inline bool holds_records(Section section) {
  return section_info(section).writer == SectionWriter::HexRecords;
}
// The load's flag for a section: one bit each.
constexpr unsigned section_flag(Section section) { return 1u << static_cast<unsigned>(section); }

}  // namespace tv
