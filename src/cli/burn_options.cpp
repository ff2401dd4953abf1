#include "cli/burn_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// The options: a switch sets its flag, a valued option hands its value to
// its reader. A new mode is one more row.
struct Switch {
  const char* name;
  const char* short_name;
  bool BurnOptions::*flag;
};
const Switch kSwitches[] = {
    {"--help", "-h", &BurnOptions::help},
    {"--version", nullptr, &BurnOptions::version},
    {"--sysfont", nullptr, &BurnOptions::sysfont},
    {"--verify", nullptr, &BurnOptions::verify_option},
    {"--no-verify", "-V", &BurnOptions::no_verify_option},
    {"--json", nullptr, &BurnOptions::json},
    {"--list-ports", nullptr, &BurnOptions::list_ports},
    {"--trace", nullptr, &BurnOptions::trace},
    {"--compare", nullptr, &BurnOptions::compare},
    {"--info", nullptr, &BurnOptions::info},
    {"--resume", nullptr, &BurnOptions::resume},
    {"--patient", nullptr, &BurnOptions::patient},
    {"--wait", nullptr, &BurnOptions::wait},
};

using ValueReader = bool (*)(const std::string& option, const char* value, BurnOptions* o,
                             std::string* error);
struct Valued {
  const char* name;
  const char* short_name;
  ValueReader take;
};
const Valued kValued[] = {
    {"--port", "-p", take_port},
    {"--sections", nullptr, take_sections},
    {"--flash-delay", nullptr, take_flash_delay},
    {"--sysfont-delay", nullptr, take_sysfont_delay},
    {"--log", nullptr, take_log_dir},
    {"--keep-logs", nullptr, take_keep_logs},
    {"--keep-days", nullptr, take_keep_days},
    {"--backup", nullptr, take_backup},
    {"--label", nullptr, take_label},
    {"--range", nullptr, take_range},
};

template <typename Row, size_t N>
const Row* find_option(const Row (&rows)[N], const std::string& name) {
  for (const Row& row : rows)
    if (name == row.name || (row.short_name && name == row.short_name)) return &row;
  return nullptr;
}

// "--port=com4" and "--port com4" alike; a short option takes the next argument.
struct Argument {
  std::string name;
  std::string inline_value;
  bool has_inline_value = false;
};

Argument split(const std::string& arg) {
  Argument a{arg, "", false};
  size_t equals = arg.find('=');
  if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
    a.name = arg.substr(0, equals);
    a.inline_value = arg.substr(equals + 1);
    a.has_inline_value = true;
  }
  return a;
}

// One option at argv[*i]; a value in the next argument moves *i on.
bool parse_option(int argc, const char* const* argv, int* i, BurnOptions* o, std::string* error) {
  const Argument a = split(argv[*i]);
  if (const Switch* flag = find_option(kSwitches, a.name)) {
    if (a.has_inline_value) {
      *error = a.name + " takes no value";
      return false;
    }
    o->*(flag->flag) = true;
    return true;
  }
  const Valued* valued = find_option(kValued, a.name);
  if (!valued) {
    *error = "unknown option '" + std::string(argv[*i]) + "'";
    return false;
  }
  const char* value = a.has_inline_value ? a.inline_value.c_str() : *i + 1 < argc ? argv[++*i] : nullptr;
  if (!value) {
    *error = a.name + " needs a value";
    return false;
  }
  return valued->take(a.name, value, o, error);
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
  if (!o.help && !o.version && !o.list_ports && files.empty() && o.backup.empty()) {
    *error = "no chipset file named";
    return false;
  }
  return true;
}

}  // namespace

bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error) {
  BurnOptions o;
  std::vector<std::string> files;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (!parse_option(argc, argv, &i, &o, error)) {
      return false;
    }
  }
  if (!check_whole(o, files, error) || !take_verify_options(&o, error)) return false;
  if (!files.empty()) o.chipset = files.front();
  if (!o.help && !o.version && !o.list_ports &&
      (!read_mode_usage(o, error) || !resume_usage(o, error) || !wait_usage(o, error)))
    return false;
  *options = o;
  return true;
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

// "(3-20, else the window's, else 3)": the range, and what counts without
// the option.
std::string delay_range(const DelaySetting& delay) {
  return "(" + std::to_string(delay.min) + "-" + std::to_string(delay.max) + ", else the window's, else " +
         std::to_string(delay.initial) + ")";
}

}  // namespace

std::string burn_usage_text() {
  return "usage: tvbox-burn [options] CHIPSET\n"
         "       tvbox-burn --wait [-p PORT[=LABEL] ...] [--json] CHIPSET\n"
         "       tvbox-burn --backup FILE [-p PORT] [--sections flash,osd]\n"
         "                  [--range MEMORY:START-END]\n"
         "       tvbox-burn --compare [-p PORT ...] CHIPSET\n"
         "       tvbox-burn --info [--json] CHIPSET\n"
         "       tvbox-burn --resume [-p PORT ...] [--log DIR] CHIPSET\n"
         "Burns a chipset file into one or more TV boxes at once.\n"
         "\n"
         "  -p, --port NAME        a programming port: comN, or a device path such as\n"
         "                         /dev/ttyUSB0 (repeat it to burn several boxes at\n"
         "                         once; default: $TVBOX_PORTS, a comma list, else\n"
         "                         every box port the window saved, else com3);\n"
         "                         NAME=LABEL tags the box on it\n"
         "      --label TEXT       an operator or serial tag for the boxes of this run\n"
         "                         (a port's own =LABEL wins): in the result lines,\n"
         "                         the saved logs and the JSON\n"
         "      --wait             a production loop: on every port at once, wait for a\n"
         "                         box to answer, burn it, print its result line\n"
         "                         (port, count, verdict, time, label), wait for it to\n"
         "                         go and for the next; ctrl-C between boxes ends it\n"
         "                         with a summary (--json: one line per box and one\n"
         "                         for the summary)\n"
         "      --sections LIST    only some of " +
         section_words() +
         ", each of which the\n"
         "                         file must hold (default: the window's whole burn; the\n"
         "                         file must hold HEADER, PIC, FLASH, OSD and OSD Font)\n"
         "      --sysfont          also burn the system font afterwards\n"
         "      --verify           read the flash and the OSD memory back after writing\n"
         "                         them and compare them with the file (the default,\n"
         "                         unless the window saved its Verify box off)\n"
         "  -V, --no-verify        do not read back, which adds about 0.7 x a burn's time\n"
         "                         on the wire; a box that stores a byte wrong is then\n"
         "                         reported OK\n"
         "      --flash-delay S    seconds between the PIC and Flash stages\n"
         "                         " +
         delay_range(kFlashDelay) +
         "\n"
         "      --sysfont-delay S  seconds before the system font\n"
         "                         " +
         delay_range(kSysfontDelay) +
         "\n"
         "      --log DIR          where the log files go, never pruned (default\n"
         "                         $XDG_STATE_HOME/tvbox/logs, or\n"
         "                         ~/.local/state/tvbox/logs)\n"
         "      --keep-logs N      the default folder keeps the newest N logs (default\n"
         "                         500)\n"
         "      --keep-days N      and none older than N days (default 90)\n"
         "      --json             one JSON object on standard output, also on a refusal\n"
         "      --list-ports       list the serial ports this machine has and exit\n"
         "      --trace            the diagnostic trace to standard error\n"
         "      --backup FILE      read the box's flash and OSD memory into FILE, a\n"
         "                         chipset file (gzip when FILE ends in .gz); one port;\n"
         "                         --sections flash or osd reads only that one; FILE\n"
         "                         ending in .bin gets the raw bytes of one memory,\n"
         "                         and FILE - writes them to standard output\n"
         "      --range M:S-E      --backup reads only addresses S to E (hexadecimal,\n"
         "                         E not read) of memory M, flash or osd; a chipset\n"
         "                         FILE holds at most 0-10000, in 16-byte records\n"
         "      --compare          compare the box with CHIPSET's flash and OSD records;\n"
         "                         nothing is written to the box\n"
         "      --info             tell what CHIPSET holds, whether it would burn and with\n"
         "                         which settings; opens no port (one JSON object with\n"
         "                         --json)\n"
         "      --resume           continue each port's last burn of CHIPSET where it\n"
         "                         failed or was stopped, as its saved log tells (in\n"
         "                         --log DIR)\n"
         "      --patient          wait on a poor line however long a job takes (else a\n"
         "                         job that takes 3 times its planned time ends)\n"
         "      --version          print the version and exit\n"
         "  -h, --help             this text\n"
         "\n"
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

}  // namespace tv
