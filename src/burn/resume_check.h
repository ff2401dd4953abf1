// Before a resume skips anything, it makes sure the box on the port is the
// box the failed burn wrote to. The saved log names a port, not a box: an
// engineer who swapped boxes (or a bench that reuses port names) would
// otherwise get "OK" for a box that never had its PIC program or whose first
// flash sectors are blank or old.
//
// The proof is a sample read back from what the failed burn finished: the
// first and the last 16 bytes the file puts into every finished flash sector,
// and the same for every 4 KiB of the OSD memory when the OSD stage was
// finished. That is at most a few hundred bytes, read in a second or two. It
// catches a box with no firmware or another firmware at those addresses; it
// cannot see a byte the sample does not cover (Verify reads everything).
//
// The PIC program and the fonts cannot be read from the box: a stage of
// theirs that the log calls finished is trusted only when a sample vouches
// for the box. Without any sample the resume burns them again.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "burn/section_writer.h"

namespace tv {

// The bytes at the head and the tail of each finished 4 KiB block that a
// sample reads.
constexpr int kSampleBytesPerEnd = 16;
constexpr int kSampleBlockBytes = 4096;

struct ResumeSample {
  // Address and the value the file put there, in address order.
  std::vector<std::pair<int, uint8_t>> flash, osd;
  bool empty() const { return flash.empty() && osd.empty(); }
  size_t bytes() const { return flash.size() + osd.size(); }
};

// What `point` says the box holds of `chipset`, as bytes the box can be
// asked for.
ResumeSample resume_sample(const LoadedChipset& chipset, const ResumePoint& point);

// How the box answered the sample.
struct SampleVerdict {
  WriteResult read = WriteResult::Done;  // anything but Done: the box could not be read
  int differ = 0;                        // bytes that differ
  Section first_stage = Section::Flash;  // where the first one is
  int first_address = -1;
  uint8_t first_file = 0, first_box = 0;
};

// Reads the sample from the box and compares. Failures to read are logged
// in red by the read loop; the verdict is left for the caller to tell.
SampleVerdict read_resume_sample(WriterContext& context, const ResumeSample& sample);

// "this box does not hold what the burn of 2026-12-08 14:10:05 wrote to
// com3; burn it whole.\n": why a resume wrote nothing, as its log line.
std::string other_box_line(const ResumePlan& plan);

}  // namespace tv
