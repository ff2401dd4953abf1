// Writes arbitrary bytes as a chipset file, plain or gzip-compressed, loads it
// and checks that the loader's result stays consistent. The file is written
// compressed when the input's first byte is odd, so both readings are covered.
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/trace.h"
#include "burn/chipset_file.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

std::string scratch_path() { return "/tmp/tvbox-fuzz-chipset-" + std::to_string(::getpid()) + ".hv"; }

bool write_file(const std::string& path, const uint8_t* data, size_t size, bool compressed) {
  if (compressed) {
    gzFile file = gzopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || gzwrite(file, data, static_cast<unsigned>(size)) == static_cast<int>(size);
    return gzclose(file) == Z_OK && ok;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tv::set_trace_enabled(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratch_path();
  bool compressed = size > 0 && (data[0] & 1) != 0;
  if (!write_file(path, data, size, compressed)) return 0;
  tv::LoadedChipset loaded = tv::load_chipset(path);
  require(loaded.opened);
  require(loaded.size >= 0);
  require(loaded.pic.size() == tv::kPicImageSize);
  if (loaded.pic_adr_f != tv::kPicNoFirst)
    require(loaded.pic_adr_f <= loaded.pic_adr_l &&
            static_cast<size_t>(loaded.pic_adr_l) <= tv::kPicImageSize);
  std::string why;
  require(tv::chipset_unchanged(loaded, path, &why) && why.empty());
  ::unlink(path.c_str());
  return 0;
}
