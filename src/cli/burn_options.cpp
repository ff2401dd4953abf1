#include "cli/burn_options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "burn/settings_keys.h"
#include "cli/read_modes.h"
#include "cli/resume_mode.h"
#include "cli/wait_mode.h"
#include "link/ports.h"

namespace tv {
namespace {

std::vector<std::string> comma_list(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

bool take_sections(const std::string&, const char* list, BurnOptions* o, std::string* error) {
  o->sections = 0;
  for (const std::string& name : comma_list(list)) {
    bool known = false;
    for (const SectionInfo& section : section_table()) {
      if (section.option && name == section.option) {
        o->sections |= section_flag(section.section);
        known = true;
      }
    }
    if (!known) {
      *error = "--sections takes some of " + section_words() + ", not '" + name + "'";
      return false;
    }
  }
  return true;
}

bool parse_number(const std::string& option, const char* text, int min, int max, const char* unit, int* value,
                  std::string* error) {
  errno = 0;
  char* end = nullptr;
  long number = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || number < min || number > max) {
    *error = option + " takes " + unit + " from " + std::to_string(min) + " to " + std::to_string(max) +
             ", not '" + text + "'";
    return false;
  }
  *value = int(number);
  return true;
}

// "com3" or "com3=SN-0042": a port and, after the first '=', its label.
bool take_port(const std::string& option, const char* value, BurnOptions* o, std::string* error) {
  const std::string text = value;
  const size_t equals = text.find('=');
  const std::string port = text.substr(0, equals);
  if (port.empty()) {
    *error = option + " needs a port name";
    return false;
  }
  for (const std::string& named : o->ports) {
    if (named == port) {
      *error = std::string("the port ") + port + " is named twice";
      return false;
    }
  }
  o->ports.push_back(port);
  o->port_labels.resize(o->ports.size());
  if (equals != std::string::npos) o->port_labels.back() = text.substr(equals + 1);
  return true;
}

bool take_label(const std::string& option, const char* label, BurnOptions* o, std::string* error) {
  if (*label == '\0') {
    *error = option + " needs a text";
    return false;
  }
  o->label = label;
  return true;
}

bool take_range(const std::string& option, const char* text, BurnOptions* o, std::string* error) {
  o->range_text = text;
  if (parse_memory_range(text, &o->range_memory, &o->range_start, &o->range_end, error)) return true;
  *error = option + " " + *error;
  return false;
}

bool take_flash_delay(const std::string& option, const char* text, BurnOptions* o, std::string* error) {
  o->flash_delay_from = SettingSource::Option;
  return parse_number(option, text, kFlashDelay.min, kFlashDelay.max, "whole seconds", &o->flash_delay,
                      error);
}

bool take_sysfont_delay(const std::string& option, const char* text, BurnOptions* o, std::string* error) {
  o->sysfont_delay_from = SettingSource::Option;
  return parse_number(option, text, kSysfontDelay.min, kSysfontDelay.max, "whole seconds", &o->sysfont_delay,
                      error);
}

bool take_log_dir(const std::string& option, const char* dir, BurnOptions* o, std::string* error) {
  if (*dir == '\0') {
    *error = option + " needs a folder";
    return false;
  }
  o->log_dir = dir;
  return true;
}

bool take_keep_logs(const std::string& option, const char* text, BurnOptions* o, std::string* error) {
  o->keeping_given = true;
  return parse_number(option, text, kKeepFilesMin, kKeepFilesMax, "a count", &o->keeping.files, error);
}

bool take_keep_days(const std::string& option, const char* text, BurnOptions* o, std::string* error) {
  o->keeping_given = true;
  return parse_number(option, text, kKeepDaysMin, kKeepDaysMax, "days", &o->keeping.days, error);
}

bool take_backup(const std::string& option, const char* file, BurnOptions* o, std::string* error) {
  if (*file == '\0') {
    *error = option + " needs a file name";
    return false;
  }
  o->backup = file;
  return true;
}

// --verify and --no-verify, when given, decide; the window's saved setting
// only counts without them.
bool take_verify_options(BurnOptions* o, std::string* error) {
  if (o->verify_option && o->no_verify_option) {
    *error = "--verify and --no-verify say opposite things: give one";
    return false;
  }
  if (o->verify_option || o->no_verify_option) {
    o->verify = o->verify_option;
    o->verify_from = SettingSource::Option;
  }
  return true;
}

bool check_whole(const BurnOptions& o, const std::vector<std::string>& files, std::string* error) {
  if (files.size() > 1) {
    *error = "one chipset file at a time, not " + std::to_string(files.size());
    return false;
  }
  if (o.keeping_given && !o.log_dir.empty()) {
    *error = "--keep-logs and --keep-days are for the default log folder; a --log folder is never pruned";
    return false;
  }
  if (!o.help && !o.version && !o.list_ports && !o.option_table && files.empty() && o.backup.empty()) {
    *error = "no chipset file named";
    return false;
  }
  return true;
}

// "(3-20, else the window's, else 3)": the range, and what counts without
// the option.
std::string delay_range(const DelaySetting& delay) {
  return "(" + std::to_string(delay.min) + "-" + std::to_string(delay.max) + ", else the window's, else " +
         std::to_string(delay.initial) + ")";
}

// The options in the order --help lists them. getopt_long's table, the help
// and --option-table (which the completion's test reads) all come from here.
std::vector<BurnOption> make_option_table() {
  using C = ValueCompletion;
  return {
      {"port", 'p', "NAME",
       "a programming port: comN, or a device path such as /dev/ttyUSB0 (repeat it to burn several boxes at "
       "once; default: $TVBOX_PORTS, a comma list, else every box port the window saved, else com3); "
       "NAME=LABEL tags the box on it",
       C::Port, nullptr, take_port},
      {"label", 0, "TEXT",
       "an operator or serial tag for the boxes of this run (a port's own =LABEL wins): in the result "
       "lines, the saved logs and the JSON",
       C::None, nullptr, take_label},
      {"wait", 0, nullptr,
       "a production loop: on every port at once, wait for a box to answer, burn it, print its result line "
       "(port, count, verdict, time, label), wait for it to go and for the next; ctrl-C between boxes ends "
       "it with a summary (--json: one line per box and one for the summary)",
       C::None, &BurnOptions::wait},
      {"sections", 0, "LIST",
       "only some of " + section_words() +
           ", each of which the file must hold (default: the window's whole burn; the file must hold "
           "HEADER, PIC, FLASH, OSD and OSD Font)",
       C::Sections, nullptr, take_sections},
      {"sysfont", 0, nullptr, "also burn the system font afterwards", C::None, &BurnOptions::sysfont},
      {"verify", 0, nullptr,
       "read the flash and the OSD memory back after writing them and compare them with the file (the "
       "default, unless the window saved its Verify box off)",
       C::None, &BurnOptions::verify_option},
      {"no-verify", 'V', nullptr,
       "do not read back, which adds about 0.7 x a burn's time on the wire; a box that stores a byte wrong "
       "is then reported OK",
       C::None, &BurnOptions::no_verify_option},
      {"flash-delay", 0, "S", "seconds between the PIC and Flash stages " + delay_range(kFlashDelay), C::None,
       nullptr, take_flash_delay},
      {"sysfont-delay", 0, "S", "seconds before the system font " + delay_range(kSysfontDelay), C::None,
       nullptr, take_sysfont_delay},
      {"log", 0, "DIR",
       "where the log files go, never pruned (default $XDG_STATE_HOME/tvbox/logs, or "
       "~/.local/state/tvbox/logs)",
       C::Folder, nullptr, take_log_dir},
      {"keep-logs", 0, "N", "the default folder keeps the newest N logs (default 500)", C::None, nullptr,
       take_keep_logs},
      {"keep-days", 0, "N", "and none older than N days (default 90)", C::None, nullptr, take_keep_days},
      {"json", 0, nullptr, "one JSON object on standard output, also on a refusal", C::None,
       &BurnOptions::json},
      {"list-ports", 0, nullptr, "list the serial ports this machine has and exit", C::None,
       &BurnOptions::list_ports},
      {"trace", 0, nullptr, "the diagnostic trace to standard error", C::None, &BurnOptions::trace},
      {"backup", 0, "FILE",
       "read the box's flash and OSD memory into FILE, a chipset file (gzip when FILE ends in .gz); one "
       "port; --sections flash or osd reads only that one; FILE ending in .bin gets the raw bytes of one "
       "memory, and FILE - writes them to standard output",
       C::File, nullptr, take_backup},
      {"range", 0, "M:S-E",
       "--backup reads only addresses S to E (hexadecimal, E not read) of memory M, flash or osd; a chipset "
       "FILE holds at most 0-10000, in 16-byte records",
       C::Memory, nullptr, take_range},
      {"compare", 0, nullptr,
       "compare the box with CHIPSET's flash and OSD records; nothing is written to the box", C::None,
       &BurnOptions::compare},
      {"info", 0, nullptr,
       "tell what CHIPSET holds, whether it would burn and with which settings; opens no port (one JSON "
       "object with --json)",
       C::None, &BurnOptions::info},
      {"resume", 0, nullptr,
       "continue each port's last burn of CHIPSET where it failed or was stopped, as its saved log tells "
       "(in --log DIR)",
       C::None, &BurnOptions::resume},
      {"patient", 0, nullptr,
       "wait on a poor line however long a job takes (else a job that takes 3 times its planned time ends)",
       C::None, &BurnOptions::patient},
      {"version", 0, nullptr, "print the version and exit", C::None, &BurnOptions::version},
      {"help", 'h', nullptr, "this text", C::None, &BurnOptions::help},
      // For the shell completion's test: every option with its value and
      // what completes it. Not in the help.
      {"option-table", 0, nullptr, "", C::None, &BurnOptions::option_table, nullptr, true},
  };
}

// getopt_long's code of an option: its letter, else a number past every
// character, so each row is told apart.
constexpr int kFirstLongCode = 256;
int option_code(const BurnOption& option, size_t index) {
  return option.letter ? option.letter : kFirstLongCode + int(index);
}

const BurnOption* option_by_code(int code) {
  const std::vector<BurnOption>& table = burn_option_table();
  for (size_t i = 0; i < table.size(); ++i)
    if (option_code(table[i], i) == code) return &table[i];
  return nullptr;
}

// "-" first: the files come back in their place among the options, whatever
// POSIXLY_CORRECT says; ":" next: a missing value is told from an unknown option.
std::string short_options() {
  std::string letters = "-:";
  for (const BurnOption& option : burn_option_table()) {
    if (!option.letter) continue;
    letters += option.letter;
    if (option.value) letters += ':';
  }
  return letters;
}

std::vector<option> long_options() {
  std::vector<option> longs;
  const std::vector<BurnOption>& table = burn_option_table();
  for (size_t i = 0; i < table.size(); ++i)
    longs.push_back(
        {table[i].name, table[i].value ? required_argument : no_argument, nullptr, option_code(table[i], i)});
  longs.push_back({nullptr, 0, nullptr, 0});
  return longs;
}

// The option as the user wrote it, for a message: "-p", or the long name in
// full when the user wrote it (perhaps cut short) with "--".
std::string written_name(const BurnOption& option, const char* argument) {
  if (option.letter && argument && std::strncmp(argument, "--", 2) != 0)
    return std::string("-") + option.letter;
  return std::string("--") + option.name;
}

// "--keep" could be --keep-logs or --keep-days: the long options it begins.
std::vector<std::string> long_names_beginning(const std::string& written) {
  std::string start = written.substr(2);
  start = start.substr(0, start.find('='));
  std::vector<std::string> names;
  for (const BurnOption& option : burn_option_table())
    if (!option.hidden && std::string(option.name).compare(0, start.size(), start) == 0)
      names.push_back(std::string("--") + option.name);
  return names;
}

// What getopt_long's '?' means: a switch given a value, an abbreviation of
// more than one option, or an option there is none of.
std::string unknown_option_error(const char* argument) {
  const BurnOption* option = optopt ? option_by_code(optopt) : nullptr;
  if (option && !option->value) return std::string("--") + option->name + " takes no value";
  if (optopt && optopt < kFirstLongCode) return "unknown option '-" + std::string(1, char(optopt)) + "'";
  const std::string written = argument ? argument : "";
  const std::vector<std::string> names = written.compare(0, 2, "--") == 0 && written.size() > 2
                                             ? long_names_beginning(written)
                                             : std::vector<std::string>();
  if (names.size() > 1) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
      list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return "'" + written.substr(0, written.find('=')) + "' is short for more than one option: " + list;
  }
  return "unknown option '" + written + "'";
}

// One option getopt_long found: its flag set, or its value read.
bool take_option(const BurnOption& option, const char* written, BurnOptions* o, std::string* error) {
  if (!option.value) {
    o->*(option.flag) = true;
    return true;
  }
  return option.take(written_name(option, written), optarg, o, error);
}

}  // namespace

const std::vector<BurnOption>& burn_option_table() {
  static const std::vector<BurnOption> table = make_option_table();
  return table;
}

const char* completion_word(ValueCompletion completion) {
  switch (completion) {
    case ValueCompletion::None: return "none";
    case ValueCompletion::File: return "file";
    case ValueCompletion::Folder: return "folder";
    case ValueCompletion::Port: return "port";
    case ValueCompletion::Sections: return "sections";
    case ValueCompletion::Memory: return "memory";
  }
  return "none";
}

bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error) {
  BurnOptions o;
  std::vector<std::string> files;
  std::string first_error;
  // getopt_long wants an array it may reorder; the caller's stays as it was.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
  args.push_back(nullptr);
  const std::string letters = short_options();
  const std::vector<option> longs = long_options();
  opterr = 0;  // the messages are ours, one line each
  optind = 0;  // 0, not 1: every call starts afresh, also after an error
  for (int code; (code = getopt_long(argc, args.data(), letters.c_str(), longs.data(), nullptr)) != -1;) {
    // The argument the option was written in: the one before its value
    // when that came as an argument of its own ("--port com3").
    const bool value_apart = optarg && optind >= 2 && optarg == args[size_t(optind - 1)];
    const char* written = args[size_t(optind - (value_apart ? 2 : 1))];
    std::string problem;
    if (code == 1) {
      files.push_back(optarg);
    } else if (code == '?') {
      problem = unknown_option_error(written);
    } else if (code == ':') {
      const BurnOption* option = option_by_code(optopt);
      problem = (option ? written_name(*option, written) : std::string(written)) + " needs a value";
    } else if (const BurnOption* option = option_by_code(code)) {
      take_option(*option, written, &o, &problem);
    }
    if (first_error.empty()) first_error = problem;
  }
  for (int i = optind; i < argc; ++i) files.push_back(args[size_t(i)]);  // after "--"
  if (!files.empty()) o.chipset = files.front();
  *options = o;
  if (!first_error.empty()) {
    *error = first_error;
    return false;
  }
  if (!check_whole(o, files, error) || !take_verify_options(&o, error)) return false;
  *options = o;
  if (o.help || o.version || o.list_ports || o.option_table) return true;
  return read_mode_usage(o, error) && resume_usage(o, error) && wait_usage(o, error);
}

const char* setting_source_text(SettingSource source) {
  switch (source) {
    case SettingSource::Default: return "default";
    case SettingSource::WindowSettings: return "window settings";
    case SettingSource::Option: return "option";
  }
  return "default";
}

namespace {

template <typename T>
void take_saved(const std::optional<T>& saved, T* value, SettingSource* from) {
  if (*from == SettingSource::Option || !saved) return;
  *value = *saved;
  *from = SettingSource::WindowSettings;
}

}  // namespace

void take_window_settings(const WindowSettings& window, BurnOptions* o, std::vector<std::string>* warnings) {
  take_saved(window.flash_delay, &o->flash_delay, &o->flash_delay_from);
  take_saved(window.sysfont_delay, &o->sysfont_delay, &o->sysfont_delay_from);
  take_saved(window.verify, &o->verify, &o->verify_from);
  for (const auto& warning : window.warnings) {
    const SettingSource from = warning.first == kFlashDelayKey     ? o->flash_delay_from
                               : warning.first == kSysfontDelayKey ? o->sysfont_delay_from
                                                                   : o->verify_from;
    if (from != SettingSource::Option) warnings->push_back(warning.second);
  }
}

std::vector<std::string> default_ports(const char* bench_ports, const std::vector<std::string>& saved_ports) {
  std::vector<std::string> ports;
  for (const std::string& port : comma_list(bench_ports ? bench_ports : "")) {
    bool seen = false;
    for (const std::string& taken : ports) seen = seen || taken == port;
    if (!port.empty() && !seen) ports.push_back(port);
  }
  if (!ports.empty()) return ports;
  if (!saved_ports.empty()) return saved_ports;
  return {kDefaultProgrammingPort};
}

std::string port_label(const BurnOptions& options, const std::string& port) {
  for (size_t i = 0; i < options.ports.size() && i < options.port_labels.size(); ++i)
    if (options.ports[i] == port && !options.port_labels[i].empty()) return options.port_labels[i];
  return options.label;
}

std::string log_folder(const BurnOptions& options) {
  return options.log_dir.empty() ? default_burn_log_dir() : options.log_dir;
}

std::string section_words() {
  std::string words;
  for (const SectionInfo& section : section_table())
    if (section.option) words += (words.empty() ? "" : ",") + std::string(section.option);
  return words;
}

namespace {

constexpr size_t kHelpWidth = 80;
constexpr size_t kHelpColumn = 25;  // where each option's words begin

// "  -p, --port NAME" or "      --sections LIST".
std::string option_heading(const BurnOption& option) {
  std::string heading = option.letter ? std::string("  -") + option.letter + ", " : std::string(6, ' ');
  heading += std::string("--") + option.name;
  if (option.value) heading += std::string(" ") + option.value;
  return heading;
}

// `words` broken into lines that begin at the help column and end by its
// width; the first goes after `heading`, or below it when that is too long.
std::string wrapped_option(const std::string& heading, const std::string& words) {
  std::string text = heading, line;
  const std::string indent(kHelpColumn, ' ');
  if (heading.size() + 1 > kHelpColumn)
    text += "\n" + indent;
  else
    text.append(kHelpColumn - heading.size(), ' ');
  std::istringstream in(words);
  for (std::string word; in >> word;) {
    if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kHelpWidth) {
      text += line + "\n" + indent;
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return text + line + "\n";
}

}  // namespace

std::string burn_usage_text() {
  std::string text =
      "usage: tvbox-burn [options] CHIPSET\n"
      "       tvbox-burn --wait [-p PORT[=LABEL] ...] [--json] CHIPSET\n"
      "       tvbox-burn --backup FILE [-p PORT] [--sections flash,osd]\n"
      "                  [--range MEMORY:START-END]\n"
      "       tvbox-burn --compare [-p PORT ...] CHIPSET\n"
      "       tvbox-burn --info [--json] CHIPSET\n"
      "       tvbox-burn --resume [-p PORT ...] [--log DIR] CHIPSET\n"
      "Burns a chipset file into one or more TV boxes at once.\n"
      "\n";
  for (const BurnOption& option : burn_option_table())
    if (!option.hidden) text += wrapped_option(option_heading(option), option.help);
  return text +
         "\n"
         "A long option may be cut short where no other begins the same way (--comp);\n"
         "a value follows its option as the next argument or after '=' (--log=DIR,\n"
         "-pcom3); short switches go together (-Vpcom3). After '--' every argument is\n"
         "a file, even one that begins with '-'.\n"
         "Progress, warnings and errors go to standard error (not a terminal, or\n"
         "TERM=dumb: a plain line per box every tenth of its job or 30 s); standard\n"
         "output has only the summary (or the JSON object with --json), or the bytes\n"
         "of --backup -.\n"
         "The delays and Verify not given as options are the window's saved ones\n"
         "(~/.foxrc/Harnvale/TV Box), else the defaults.\n"
         "Exit status: 0 every box burned (backed up, matched); 1 at least one box failed\n"
         "or differs; 2 a usage error, a chipset file that cannot be burned as asked, or\n"
         "(--resume) a port with nothing to resume or another box on it (nothing is\n"
         "written to it); 128+N after signal N: 129 SIGHUP, 130 ctrl-C, 131 SIGQUIT,\n"
         "143 SIGTERM. With --wait, 0 when every box burned OK, 1 when one failed,\n"
         "128+N only when the signal stopped a burn.\n";
}

std::string option_list_text() {
  std::string text;
  for (const BurnOption& option : burn_option_table()) {
    if (option.hidden) continue;
    text += std::string("--") + option.name + "\t" + (option.letter ? std::string("-") + option.letter : "") +
            "\t" + (option.value ? option.value : "") + "\t" + completion_word(option.completion) + "\n";
  }
  return text;
}

}  // namespace tv
