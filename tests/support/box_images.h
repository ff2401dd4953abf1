// What burn tests check the simulated box against: the images the chipset
// generator says a full burn leaves, and the small chipset most burn tests use.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "boxsim/box_sim.h"
#include "gen/chipset_gen.h"

namespace testsupport {

// Whether each of the box's four memories holds exactly its generated image;
// on failure names every memory that differs.
::testing::AssertionResult box_holds(const boxsim::Memories& memories, const chipsetgen::Images& images);

// A chipset with every section but only a few records each: quick to burn.
chipsetgen::Options small_chipset_options();

// Every byte the box received is a 12-byte read packet: nothing was written.
::testing::AssertionResult only_reads(const std::vector<uint8_t>& sent);

}  // namespace testsupport
