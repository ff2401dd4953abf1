// tvbox-burn: burns one chipset file into one or more boxes at once, each on
// its own port and thread, from the same loaded data. The whole program but
// its main(), so that tests can reach its parts.
#pragma once

#include <string>

#include "burn/chipset_file.h"
#include "cli/burn_options.h"

namespace tv {

// Exit status of tvbox-burn.
enum BurnExit : int {
  kExitAllBurned = 0,
  kExitBoxFailed = 1,
  kExitUsage = 2,  // also: a chipset file that cannot be burned as asked
  // A stop signal N ends the program with 128 + N: 129 SIGHUP, 130 ctrl-C,
  // 131 SIGQUIT, 143 SIGTERM.
};

// Why a loaded file may not be burned with these options; empty when it may.
// Nothing is sent to any box when it may not.
std::string chipset_refusal(const LoadedChipset& chipset, const BurnOptions& options);

// The stages these options burn from this file, as bits by Section.
unsigned chosen_stages(const LoadedChipset& chipset, const BurnOptions& options);

// Prunes the default log folder to the keeping the options give, saying how
// many logs went; a folder named with --log is the user's own and is left alone.
void prune_default_folder(const BurnOptions& options);

// The program: parses the arguments, burns, prints, returns the exit status.
int tvbox_burn_main(int argc, char** argv);

}  // namespace tv
