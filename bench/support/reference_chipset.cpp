#include "support/reference_chipset.h"

#include <cstdio>
#include <utility>

namespace benchsupport {

chipsetgen::Options reference_chipset_options() {
  chipsetgen::Options options;
  options.seed = 1;
  options.pic_bytes = 500;
  options.flash_bytes = 0x10000;
  options.osd_bytes = 0x2000;
  options.glyphs = 128;
  return options;
}

chipsetgen::Generated reference_chipset() { return chipsetgen::generate(reference_chipset_options()); }

bool write_reference_chipset(const std::string& path, chipsetgen::Generated* generated) {
  chipsetgen::Generated made = reference_chipset();
  std::string error;
  if (!chipsetgen::write_chipset(path, made.text, false, &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  if (generated) *generated = std::move(made);
  return true;
}

}  // namespace benchsupport
