// The modes of tvbox-burn that write nothing to a box: --backup reads one box
// into a chipset file, --compare reads back what a chipset file would write
// into one or more boxes and names the differences, --info tells what a
// chipset file holds without opening a port.
#pragma once

#include <string>

#include "burn/chipset_summary.h"
#include "cli/box_round.h"
#include "cli/burn_options.h"

namespace tv {

// True when the options name one of these modes.
bool read_mode_chosen(const BurnOptions& options);

// The usage rules of these modes (one mode at a time, one port for a backup,
// only the sections that can be read). False with the reason in `error`.
bool read_mode_usage(const BurnOptions& options, std::string* error);

// --range's "flash:START-END" or "osd:START-END": hexadecimal addresses,
// END exclusive, within the memory and not empty. False with the reason in
// `error` (after the option's name).
bool parse_memory_range(const std::string& text, Section* memory, int* start, int* end, std::string* error);

// A backup of raw bytes: into a FILE ending in .bin, or "-" for standard
// output.
bool raw_backup(const BurnOptions& options);

// --info: what the chipset file holds and how it would burn, on standard
// output; returns the exit status.
int run_info_mode(const BurnOptions& options);

// "burn", "compare", "backup", "resume" or "info": the mode the options ask
// for, as the JSON objects name it.
std::string json_mode(const BurnOptions& options);

// The boxes of a --backup or a --compare, each job reading its box. False
// when the mode refuses to run, with the one-line reason in `refusal`:
// nothing is read.
bool read_mode_round(const BurnOptions& options, BoxRound* round, std::string* refusal);

// What --info says about burning the file with these options: why it would
// be refused (empty when it would burn), which stages and how long.
struct BurnVerdict {
  std::string refusal;
  int refusal_line = 0;  // the file's line the refusal is about, when it is
  std::string stages;    // "PIC, FLASH, OSD, RusFont"
  double seconds = 0;    // on the line at 57600 baud with the options' delays
};

// The burn's planned time on a good line with these options, for the
// estimate and for the bound on a poor line; a verify adds its reads.
double burn_estimate(const LoadedChipset& chipset, const BurnOptions& options, unsigned stages);
// The reads the burn's verify sends (0 without verify): exchanges, like its records.
double verify_reads(const LoadedChipset& chipset, const BurnOptions& options, unsigned stages);

// --info's text and its JSON object.
std::string info_text(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options);
std::string info_json(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options);

}  // namespace tv
