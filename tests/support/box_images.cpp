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

::testing::AssertionResult only_reads(const std::vector<uint8_t>& sent) {
  if (sent.empty() || sent.size() % 12 != 0)
    return ::testing::AssertionFailure() << sent.size() << " bytes are not whole packets";
  for (size_t at = 0; at < sent.size(); at += 12)
    if (sent[at + 4] != 'R' || sent[at + 11] != 0x0D)
      return ::testing::AssertionFailure() << "the packet at byte " << at << " is not a read";
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport
