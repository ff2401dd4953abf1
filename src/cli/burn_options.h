// The command line of tvbox-burn: what to burn, into which ports, and how to
// report it. Parsing does no I/O, so every rule is testable on its own.
#pragma once

#include <string>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/burn_verification.h"
#include "cli/window_settings.h"

namespace tv {

// Where a burn setting came from: the command line wins over what the
// window saved, which wins over the program's default.
enum class SettingSource { Default, WindowSettings, Option };
// "default", "window settings", "option": as --info and the saved log say it.
const char* setting_source_text(SettingSource source);

struct BurnOptions {
  std::vector<std::string> ports;  // in the order given; empty: the bench's default
  // An operator's or serial tag per port (-p PORT=LABEL), by the index of
  // `ports`; empty where none was given, and --label counts there.
  std::vector<std::string> port_labels;
  std::string label;      // --label
  unsigned sections = 0;  // section_flag bits of --sections; 0: the window's whole burn
  bool sysfont = false;
  // Read back the flash and the OSD memory after writing them; --verify and
  // --no-verify (-V) as given, before the window's saved setting counts.
  bool verify = kVerifyByDefault;
  bool verify_option = false, no_verify_option = false;
  int flash_delay = kFlashDelay.initial;
  int sysfont_delay = kSysfontDelay.initial;
  SettingSource verify_from = SettingSource::Default;
  SettingSource flash_delay_from = SettingSource::Default;
  SettingSource sysfont_delay_from = SettingSource::Default;
  std::string log_dir;         // empty: the default folder
  LogKeeping keeping;          // how many old logs the default folder keeps
  bool keeping_given = false;  // --keep-logs or --keep-days named
  bool json = false;
  bool list_ports = false;
  bool trace = false;
  bool help = false;
  bool version = false;
  bool option_table = false;  // hidden: the option table, for the completion's test
  std::string chipset;
  // Instead of a burn: read the box into this file, compare it with the
  // chipset, or tell what the chipset holds (no port).
  std::string backup;
  bool compare = false;
  bool info = false;
  // Continue each port's last burn of this file, which failed or was stopped.
  bool resume = false;
  // No time bound on a job over a poor line (the share of retries still ends it).
  bool patient = false;
  // A production loop: on every port, burn each box that comes, one after
  // the other, until a stop signal.
  bool wait = false;
  // --range flash:START-END (END exclusive): a backup of just those bytes.
  std::string range_text;
  Section range_memory = Section::Flash;
  int range_start = -1, range_end = -1;  // -1: no range
};

// The label of one of the options' ports: its own, else --label's.
std::string port_label(const BurnOptions& options, const std::string& port);

// "pic,flash,osd,rusfont": the words of --sections, from the sections' table.
std::string section_words();

// What the shell completion offers after an option that takes a value.
enum class ValueCompletion { None, File, Folder, Port, Sections, Memory };
// "none", "file", "folder", "port", "sections", "memory": as --option-table
// says it.
const char* completion_word(ValueCompletion completion);

// A valued option's reader: `option` is the option as the user wrote it
// ("-p", "--port"), for its message.
using ValueReader = bool (*)(const std::string& option, const char* value, BurnOptions* o,
                             std::string* error);

// One row of the option table. A switch sets its flag; a valued option
// hands its value to its reader. A new option is one more row.
struct BurnOption {
  const char* name;   // "port": --port
  char letter;        // 'p': -p; 0: none
  const char* value;  // "NAME" in the help; null: a switch
  std::string help;   // the words of --help, wrapped to fit
  ValueCompletion completion;
  bool BurnOptions::*flag = nullptr;
  ValueReader take = nullptr;
  bool hidden = false;  // not in the help, the manual or the completion
};

// Every option of tvbox-burn, in the order of --help.
const std::vector<BurnOption>& burn_option_table();

// Fills `options` from the arguments (argv[0] is the program), by
// getopt_long: "-pcom3", "-Vp com3", "--port=com3", "--comp" for --compare.
// Returns false with a one-line reason in `error` on a usage error, the
// first of them; `options` then holds what could be read (whether --json
// was asked, which mode).
bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error);

// The burn settings the window saved, each where no option decided it. The
// warnings of a saved value that cannot be taken come back in `warnings`,
// for the settings it would have decided.
void take_window_settings(const WindowSettings& window, BurnOptions* options,
                          std::vector<std::string>* warnings);

// The ports when none was named: the comma list in `bench_ports`
// (TVBOX_PORTS) when it names any, else every box port the window saved (its
// first port first), else com3.
std::vector<std::string> default_ports(const char* bench_ports, const std::vector<std::string>& saved_ports);

// The folder of the saved logs: --log's, else the default one.
std::string log_folder(const BurnOptions& options);

// The --help text.
std::string burn_usage_text();

// --option-table: a line per option the help lists, "--port<TAB>-p<TAB>NAME<TAB>port",
// its letter and value empty when it has none.
std::string option_list_text();

}  // namespace tv
