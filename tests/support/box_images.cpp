#include "support/box_images.h"

#include <string>

namespace testsupport {

::testing::AssertionResult box_holds(const boxsim::Memories& memories, const chipsetgen::Images& images) {
  std::string differing;
  if (memories.pic != images.pic) differing += " PIC";
  if (memories.flash != images.flash) differing += " flash";
  if (memories.osd != images.osd) differing += " OSD";
  if (memories.font != images.font) differing += " font";
  if (differing.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "box memory differs:" << differing;
}

chipsetgen::Options small_chipset_options() {
  chipsetgen::Options options;
  options.seed = 11;
  options.pic_bytes = 120;
  options.flash_bytes = 4096;
  options.osd_bytes = 512;
  options.glyphs = 2;
  return options;
}

}  // namespace testsupport
