// The reference chipset the benchmarks measure with: a full firmware package
// of 64 KiB of flash, 8 KiB of OSD memory and two fonts of 128 glyphs.
#pragma once

#include "gen/chipset_gen.h"

namespace benchsupport {

chipsetgen::Generated reference_chipset();

}  // namespace benchsupport
