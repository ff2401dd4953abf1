// Feeds arbitrary bytes to the chipset loader as the lines its reader would
// give it, and checks that the counts and the PIC address range stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/trace.h"
#include "burn/chipset_file.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

// A line runs up to and including its line feed, or to the end of the data.
size_t line_length(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (data[i] == '\n') return i + 1;
  return size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tv::set_trace_enabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::ChipsetParser parser;
  int lines = 0;
  for (size_t at = 0; at < size; ++lines) {
    size_t length = line_length(data + at, size - at);
    parser.feed_line(std::string(reinterpret_cast<const char*>(data + at), length));
    at += length;
  }
  tv::LoadedChipset loaded = parser.finish();
  require(loaded.pic.size() == tv::kPicImageSize);
  require(loaded.lines_in(tv::Section::Pic) >= 0 && loaded.lines_in(tv::Section::Flash) >= 0 &&
          loaded.lines_in(tv::Section::Osd) >= 0);
  require(loaded.lines_in(tv::Section::OsdRusFont) >= 0 && loaded.lines_in(tv::Section::OsdSysFont) >= 0);
  require(loaded.lines_in(tv::Section::Pic) + loaded.lines_in(tv::Section::Flash) +
              loaded.lines_in(tv::Section::Osd) + loaded.lines_in(tv::Section::OsdRusFont) +
              loaded.lines_in(tv::Section::OsdSysFont) <=
          lines);
  if (loaded.pic_adr_f == tv::kPicNoFirst) {
    require(loaded.pic_adr_l == 0);
  } else {
    require(loaded.pic_adr_f >= 0 && loaded.pic_adr_f <= loaded.pic_adr_l);
    require(static_cast<size_t>(loaded.pic_adr_l) <= tv::kPicImageSize);
  }
  require(loaded.bad_checksums >= 0);
  if (loaded.bad_checksums > 0)
    require(loaded.first_bad_checksum_line >= 1 && loaded.first_bad_checksum_line <= lines);
  require(loaded.log.size() >= 4);
  return 0;
}
