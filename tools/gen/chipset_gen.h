// Chipset files made to order: from a seed, a complete firmware package with
// every section, and the memory images a box must hold after burning it.
// Tests, the sample file and the benchmark all come from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace chipsetgen {

constexpr size_t kPicImageSize = 100000;
constexpr size_t kImageSize = 0x10000;          // OSD and font memory
constexpr size_t kFlashSize = size_t(1) << 24;  // 24-bit flash addresses
constexpr int kFontPageFirst = 0x2400;
constexpr int kFontPageEnd = 0x3800;  // ten pages of 0x200

struct Options {
  uint32_t seed = 1;
  int pic_bytes = 600;        // PIC program bytes, in records of 8..16 bytes
  int flash_bytes = 0x10000;  // a multiple of 16, at most 64 KiB
  int osd_bytes = 0x2000;     // a multiple of 16, at most 64 KiB
  int glyphs = 128;           // glyphs in each font, at most 128
};

struct Images {
  std::vector<uint8_t> pic = std::vector<uint8_t>(kPicImageSize, 0xFF);
  std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashSize, 0xFF);  // data below 64 KiB
  std::vector<uint8_t> osd = std::vector<uint8_t>(kImageSize, 0x00);
  std::vector<uint8_t> font = std::vector<uint8_t>(kImageSize, 0x00);
};

struct Generated {
  std::string text;  // the chipset file, CR LF line ends
  Images images;     // what the box holds after a full burn with the system font
};

// Returns an empty string when the options are usable, else what is wrong.
std::string check_options(const Options& options);

Generated generate(const Options& options);

// Writes the text plain or gzip-compressed. False with a message on failure.
bool write_chipset(const std::string& path, const std::string& text, bool gzip, std::string* error);

// Writes pic.bin, flash.bin (all 16 MiB), osd.bin and font.bin into `dir`,
// laid out as the box simulator writes its memories.
bool write_images(const Images& images, const std::string& dir, std::string* error);

// One Intel HEX record with its checksum, without line end.
std::string hex_record(int type, int address, const std::vector<uint8_t>& data);

}  // namespace chipsetgen
