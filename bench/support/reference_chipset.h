// The reference chipset the benchmarks measure with: a full firmware package
// of 64 KiB of flash, 8 KiB of OSD memory and two fonts of 128 glyphs.
#pragma once

#include <string>

#include "gen/chipset_gen.h"

namespace benchsupport {

chipsetgen::Options reference_chipset_options();
chipsetgen::Generated reference_chipset();

// Writes the reference chipset to `path` (and hands it back in `generated`
// when given); false, said on standard error, when it cannot be written.
bool write_reference_chipset(const std::string& path, chipsetgen::Generated* generated = nullptr);

}  // namespace benchsupport
