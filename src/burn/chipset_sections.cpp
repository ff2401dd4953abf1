#include "burn/chipset_sections.h"

#include "link/packets.h"

namespace tv {

namespace {

// The last two columns are what the time left is planned by, as measured
// against the simulator paced at 57600 baud (bench/time_left_bench). A PIC
// record is 26 characters each way, and the loader takes another two
// characters' time to echo it: 54.
// clang-format off
const SectionInfo kSections[kSectionCount] = {
    {Section::Header,      "***HEADER>",        "Header",       nullptr,        SectionWriter::None,        nullptr,                     nullptr,                     nullptr,    "HEADER",   0,             0,        0,    0},
    {Section::Pic,         "***PIC>",           "PIC",          "PIC",          SectionWriter::PicRecords,  "Burning PIC...\n",          "PIC Burned OK!\n",          "pic",      "PIC",      0,             0,        8.0,  54},
    {Section::Flash,       "***FLASH>",         "Flash",        "FLASH",        SectionWriter::HexRecords,  "Burning FLASH...\n",        "FLASH Burned OK!\n",        "flash",    "FLASH",    kTargetFlash,  1 << 24,  0,    32},
    {Section::Osd,         "***OSD>",           "OSD",          "OSD",          SectionWriter::HexRecords,  "Burning OSD...\n",          "OSD Burned OK!\n",          "osd",      "OSD",      kTargetOsd,    0x10000,  6.0,  32},
    {Section::OsdRusFont,  "***OSD Font>",      "OSD RusFont",  "OSD RusFont",  SectionWriter::Font,        "Burning OSD RusFont...\n",  "OSD RusFont Burned OK!\n",  "rusfont",  "RusFont",  0,             0,        3.0,  48},
    {Section::OsdSysFont,  "***OSD All Font>",  "OSD SysFont",  "OSD SysFont",  SectionWriter::SystemFont,  "Burning OSD SysFont...\n",  "OSD SysFont Burned OK!\n",  nullptr,    "SysFont",  0,             0,        3.0,  48},
};
// clang-format on

}  // namespace

const SectionInfo (&section_table())[kSectionCount] { return kSections; }

int section_row(Section section) {
  for (int row = 0; row < kSectionCount; ++row)
    if (kSections[row].section == section) return row;
  return 0;  // every section has a row
}

}  // namespace tv
