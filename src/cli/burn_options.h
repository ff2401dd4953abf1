// The command line of tvbox-burn: what to burn, into which ports, and how to
// report it. Parsing does no I/O, so every rule is testable on its own.
#pragma once

#include <string>
#include <vector>

#include "burn/burn_log_file.h"

namespace tv {

// The stages a user may choose with --sections.
enum SectionChoice : unsigned {
  kChoosePic = 0x01,
  kChooseFlash = 0x02,
  kChooseOsd = 0x04,
  kChooseRusFont = 0x08,
};

struct BurnOptions {
  std::vector<std::string> ports;  // in the order given; empty: the bench's default
  unsigned sections = 0;           // 0: the whole burn the window makes
  bool sysfont = false;
  bool verify = false;
  int flash_delay = 3;
  int sysfont_delay = 6;
  std::string log_dir;             // empty: the default folder
  LogKeeping keeping;              // how many old logs the default folder keeps
  bool keeping_given = false;      // --keep-logs or --keep-days named
  bool json = false;
  bool list_ports = false;
  bool trace = false;
  bool help = false;
  bool version = false;
  std::string chipset;
};

// The window's ranges for the two delays.
constexpr int kFlashDelayMin = 3, kFlashDelayMax = 20;
constexpr int kSysfontDelayMin = 6, kSysfontDelayMax = 30;

// Fills `options` from the arguments (argv[0] is the program). Returns false
// with a one-line reason in `error` on a usage error.
bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error);

// The ports when none was named: the comma list in `bench_ports`
// (TVBOX_PORTS) when it names any, else the window's saved port, else com3.
std::vector<std::string> default_ports(const char* bench_ports, const std::string& window_port);

// The --help text.
std::string burn_usage_text();

}  // namespace tv
