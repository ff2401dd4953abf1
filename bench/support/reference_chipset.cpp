#include "support/reference_chipset.h"

namespace benchsupport {

chipsetgen::Generated reference_chipset() {
  chipsetgen::Options options;
  options.seed = 1;
  options.pic_bytes = 500;
  options.flash_bytes = 0x10000;
  options.osd_bytes = 0x2000;
  options.glyphs = 128;
  return chipsetgen::generate(options);
}

}  // namespace benchsupport
