#include "burn/chipset_summary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "burn/burn_sink.h"
#include "burn/read_back.h"
#include "burn/sha256.h"

namespace tv {
namespace {

constexpr double kLineBytesPerSecond = 5760.0;  // 57600 baud, ten bits a character
constexpr int kReadExchangeBytes = 12 + 12 + kBytesPerRead;
constexpr int kSectorShift = 12;  // 4096-byte flash sectors

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Glyphs with at least one row, read as the font writer reads the section:
// a short line numbers the glyph, a long one is a row of it.
int count_glyphs(const SectionText& text) {
  std::set<unsigned> glyphs;
  unsigned glyph = 0;
  for (size_t i = 0; i < text.line_count(); ++i) {
    const std::string line = text.line(i);
    if (starts_with(line, "***")) break;
    if (line.size() < 9)
      glyph = unsigned(std::strtoul(line.c_str(), nullptr, 10));
    else if (line.size() >= 14)
      glyphs.insert(glyph);
  }
  return int(glyphs.size());
}

// Only the bytes the memory has: what a refused record would send past its
// end is no address of it.
void summarize_hex_section(const LoadedChipset& loaded, SectionSummary* summary) {
  WrittenImage image = image_to_burn(loaded, summary->section, &summary->records);
  const int end = std::min(WrittenImage::kSpan, section_info(summary->section).memory_end);
  std::set<int> sectors;
  for (int address = 0; address < end; ++address) {
    if (!image.written(address)) continue;
    if (summary->first_address < 0) summary->first_address = address;
    summary->last_address = address;
    ++summary->bytes;
    sectors.insert(address >> kSectorShift);
  }
  if (summary->section == Section::Flash) summary->sectors.assign(sectors.begin(), sectors.end());
}

}  // namespace

int fault_line_number(const std::string& text) {
  for (const char* label : {"Line ", "line "}) {
    size_t at = text.find(label);
    if (at == std::string::npos) continue;
    int number = std::atoi(text.c_str() + at + std::strlen(label));
    if (number > 0) return number;
  }
  return 0;
}

double read_back_seconds(size_t reads) { return double(reads) * kReadExchangeBytes / kLineBytesPerSecond; }

ChipsetSummary summarize_chipset(const std::string& path, const LoadedChipset& loaded) {
  ChipsetSummary summary;
  summary.path = path;
  // The digest of the bytes the load read, not of what the path holds now.
  summary.sha256 = loaded.sha256;
  summary.size = loaded.opened ? loaded.size : -1;
  for (const SectionInfo& info : section_table()) {
    SectionSummary section;
    section.section = info.section;
    section.present = (loaded.flags & section_flag(info.section)) != 0;
    section.lines = loaded.lines_in(info.section);
    if (section.present) {
      if (info.writer == SectionWriter::PicRecords) {
        section.records = loaded.pic_records;
        if (loaded.pic_adr_f < loaded.pic_adr_l) {
          section.first_address = loaded.pic_adr_f;
          section.last_address = loaded.pic_adr_l - 1;
        }
      } else if (info.writer == SectionWriter::HexRecords) {
        summarize_hex_section(loaded, &section);
      } else if (const SectionText* text = loaded.sections ? loaded.sections->of(info.section) : nullptr) {
        if (info.writer != SectionWriter::None) section.glyphs = count_glyphs(*text);
      }
    }
    summary.sections.push_back(section);
  }
  for (const LogLine& line : loaded.log) {
    if (line.style != kStyleBoldRed && line.style != kStyleRed) continue;
    const std::string text = strip_line_end(line.text);
    (line.style == kStyleBoldRed ? summary.faults : summary.warnings)
        .push_back({fault_line_number(text), text});
  }
  summary.notes = loaded.notes;
  return summary;
}

}  // namespace tv
