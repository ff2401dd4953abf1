#include "gen/chipset_gen.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <random>

namespace chipsetgen {
namespace {

const char* const kCrLf = "\r\n";
constexpr int kPicFirstAddress = 0x10;
constexpr int kPicMaxEnd = 0xFF00;
constexpr int kGlyphBytes = 36;
constexpr int kRowsPerGlyph = 18;

class Writer {
 public:
  explicit Writer(uint32_t seed) : random_(seed) {}
  uint8_t byte() { return uint8_t(random_() & 0xFF); }
  int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  void line(const std::string& text) { text_ += text + kCrLf; }
  std::string& text() { return text_; }

 private:
  std::mt19937 random_;
  std::string text_;
};

std::vector<uint8_t> random_bytes(Writer& writer, int count) {
  std::vector<uint8_t> data(size_t(count), 0);
  for (uint8_t& value : data) value = writer.byte();
  return data;
}

void header(Writer& writer, const Options& options) {
  writer.line("***HEADER> generated chipset");
  writer.line("Harnvale TV Box firmware package");
  writer.line("seed " + std::to_string(options.seed));
}

void pic_section(Writer& writer, const Options& options, Images* images) {
  writer.line("***PIC>");
  int address = kPicFirstAddress;
  for (int left = options.pic_bytes; left > 0;) {
    int count = std::min(left, writer.between(8, 16));
    std::vector<uint8_t> data = random_bytes(writer, count);
    writer.line(hex_record(0, address, data));
    for (int i = 0; i < count; ++i) images->pic[size_t(address + i)] = data[size_t(i)];
    left -= count;
    address += count + writer.between(0, 3);  // small gaps stay 0xFF
  }
  writer.line(hex_record(1, 0, {}));
}

// 16-byte records from address 0 upwards, so the 24-bit flash address equals
// the record's 16-bit address.
void data_section(Writer& writer, const char* marker, int bytes, std::vector<uint8_t>* image) {
  writer.line(marker);
  writer.line(hex_record(4, 0, {0x00, 0x00}));  // extended address 0: a short line the writer skips
  for (int address = 0; address < bytes; address += 16) {
    std::vector<uint8_t> data = random_bytes(writer, 16);
    writer.line(hex_record(0, address, data));
    for (int i = 0; i < 16; ++i) (*image)[size_t(address + i)] = data[size_t(i)];
  }
  writer.line(hex_record(1, 0, {}));
}

// Rows of 16 pixels, '0' a set pixel. The last row of every glyph is blank,
// so the writer's closing zero row changes nothing.
void font_section(Writer& writer, const char* marker, int first_glyph, int glyphs, Images* images) {
  writer.line(marker);
  for (int glyph = first_glyph; glyph < first_glyph + glyphs; ++glyph) {
    writer.line(std::to_string(glyph));
    for (int row = 0; row < kRowsPerGlyph; ++row) {
      unsigned bits = row == kRowsPerGlyph - 1 ? 0 : unsigned(writer.between(0, 0xFFFF));
      std::string pixels;
      for (int pixel = 15; pixel >= 0; --pixel) pixels += (bits >> pixel & 1) ? '0' : '1';
      writer.line(pixels);
      size_t address = size_t(glyph * kGlyphBytes + row * 2);
      images->font[address] = uint8_t(bits & 0xFF);
      images->font[address + 1] = uint8_t(bits >> 8);
    }
  }
}

bool write_file(const std::string& path, const std::vector<uint8_t>& data, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file && std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (file && std::fclose(file) != 0) ok = false;
  if (!ok && error) *error = "cannot write " + path;
  return ok;
}

}  // namespace

std::string hex_record(int type, int address, const std::vector<uint8_t>& data) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, ":%02X%04X%02X", unsigned(data.size()), unsigned(address & 0xFFFF),
                unsigned(type));
  std::string record = buffer;
  unsigned sum =
      unsigned(data.size()) + unsigned(address >> 8 & 0xFF) + unsigned(address & 0xFF) + unsigned(type);
  for (uint8_t value : data) {
    std::snprintf(buffer, sizeof buffer, "%02X", value);
    record += buffer;
    sum += value;
  }
  std::snprintf(buffer, sizeof buffer, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return record + buffer;
}

std::string check_options(const Options& options) {
  if (options.pic_bytes < 1 || options.pic_bytes > 40000) return "--pic-bytes must be 1..40000";
  if (options.flash_bytes < 16 || options.flash_bytes > 0x10000 || options.flash_bytes % 16)
    return "--flash-bytes must be a multiple of 16 from 16 to 65536";
  if (options.osd_bytes < 16 || options.osd_bytes > 0x10000 || options.osd_bytes % 16)
    return "--osd-bytes must be a multiple of 16 from 16 to 65536";
  if (options.glyphs < 1 || options.glyphs > 128) return "--glyphs must be 1..128";
  return "";
}

Generated generate(const Options& options) {
  Generated result;
  Writer writer(options.seed);
  Images& images = result.images;
  for (int address = kFontPageFirst; address < kFontPageEnd; ++address) images.font[size_t(address)] = 0xFF;
  header(writer, options);
  pic_section(writer, options, &images);
  data_section(writer, "***FLASH>", options.flash_bytes, &images.flash);
  data_section(writer, "***OSD>", options.osd_bytes, &images.osd);
  font_section(writer, "***OSD Font> Russian", 128, options.glyphs, &images);
  font_section(writer, "***OSD All Font> System", 0, options.glyphs, &images);
  result.text = std::move(writer.text());
  return result;
}

bool write_chipset(const std::string& path, const std::string& text, bool gzip, std::string* error) {
  if (!gzip) return write_file(path, std::vector<uint8_t>(text.begin(), text.end()), error);
  gzFile file = gzopen(path.c_str(), "wb");
  bool ok = file && gzwrite(file, text.data(), unsigned(text.size())) == int(text.size());
  if (file && gzclose(file) != Z_OK) ok = false;
  if (!ok && error) *error = "cannot write " + path;
  return ok;
}

bool write_images(const Images& images, const std::string& dir, std::string* error) {
  std::error_code made;
  std::filesystem::create_directories(dir, made);
  if (made) {
    if (error) *error = "cannot make the folder " + dir + ": " + made.message();
    return false;
  }
  return write_file(dir + "/pic.bin", images.pic, error) &&
         write_file(dir + "/flash.bin", images.flash, error) &&
         write_file(dir + "/osd.bin", images.osd, error) && write_file(dir + "/font.bin", images.font, error);
}

}  // namespace chipsetgen
