// The command line of tvbox-burn: what to burn, into which ports, and how to
// report it. Parsing does no I/O, so every rule is testable on its own.
#pragma once

#include <string>
#include <vector>

namespace tv {

// The stages a user may choose with --sections.
enum SectionChoice : unsigned {
  kChoosePic = 0x01,
  kChooseFlash = 0x02,
  kChooseOsd = 0x04,
  kChooseRusFont = 0x08,
};

struct BurnOptions {
  std::vector<std::string> ports;  // in the order given; "com3" when none
  unsigned sections = 0;           // 0: every section the file holds
  bool sysfont = false;
  bool verify = false;
  int flash_delay = 3;
  int sysfont_delay = 6;
  std::string log_dir;             // empty: the default folder
  bool json = false;
  bool list_ports = false;
  bool trace = false;
  bool help = false;
  std::string chipset;
  // Instead of a burn: read the box into this file, compare it with the
  // chipset, or tell what the chipset holds (no port).
  std::string backup;
  bool compare = false;
  bool info = false;
  // Continue each port's last burn of this file, which failed or was stopped.
  bool resume = false;
};

// The window's ranges for the two delays.
constexpr int kFlashDelayMin = 3, kFlashDelayMax = 20;
constexpr int kSysfontDelayMin = 6, kSysfontDelayMax = 30;

// Fills `options` from the arguments (argv[0] is the program). Returns false
// with a one-line reason in `error` on a usage error.
bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error);

// The --help text.
std::string burn_usage_text();

}  // namespace tv
