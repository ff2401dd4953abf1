#include "cli/burn_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/read_modes.h"
#include "cli/resume_mode.h"

namespace tv {
namespace {

struct SectionName {
  const char* name;
  SectionChoice choice;
};
const SectionName kSectionNames[] = {
    {"pic", kChoosePic}, {"flash", kChooseFlash}, {"osd", kChooseOsd}, {"rusfont", kChooseRusFont}};

bool parse_sections(const std::string& list, unsigned* sections, std::string* error) {
  *sections = 0;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    bool known = false;
    for (const SectionName& section : kSectionNames) {
      if (name == section.name) {
        *sections |= section.choice;
        known = true;
      }
    }
    if (!known) {
      *error = "--sections takes some of pic,flash,osd,rusfont, not '" + name + "'";
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

bool parse_seconds(const std::string& option, const char* text, int min, int max, int* value,
                   std::string* error) {
  errno = 0;
  char* end = nullptr;
  long number = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || number < min || number > max) {
    *error = option + " takes whole seconds from " + std::to_string(min) + " to " + std::to_string(max) +
             ", not '" + text + "'";
    return false;
  }
  *value = int(number);
  return true;
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

}  // namespace

bool parse_burn_options(int argc, const char* const* argv, BurnOptions* options, std::string* error) {
  BurnOptions o;
  std::vector<std::string> files;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    Argument a = split(arg);
    const char* value = nullptr;
    auto take_value = [&]() -> bool {
      if (a.has_inline_value) value = a.inline_value.c_str();
      else if (i + 1 < argc) value = argv[++i];
      else *error = a.name + " needs a value";
      return value != nullptr;
    };
    if (a.name == "-h" || a.name == "--help") o.help = true;
    else if (a.name == "--sysfont") o.sysfont = true;
    else if (a.name == "--verify") o.verify = true;
    else if (a.name == "--json") o.json = true;
    else if (a.name == "--list-ports") o.list_ports = true;
    else if (a.name == "--trace") o.trace = true;
    else if (a.name == "--compare") o.compare = true;
    else if (a.name == "--info") o.info = true;
    else if (a.name == "--resume") o.resume = true;
    else if (a.name == "-p" || a.name == "--port") {
      if (!take_value()) return false;
      if (*value == '\0') {
        *error = a.name + " needs a port name";
        return false;
      }
      for (const std::string& port : o.ports) {
        if (port == value) {
          *error = std::string("the port ") + value + " is named twice";
          return false;
        }
      }
      o.ports.push_back(value);
    } else if (a.name == "--sections") {
      if (!take_value() || !parse_sections(value, &o.sections, error)) return false;
    } else if (a.name == "--flash-delay") {
      if (!take_value() || !parse_seconds(a.name, value, kFlashDelayMin, kFlashDelayMax, &o.flash_delay, error))
        return false;
    } else if (a.name == "--sysfont-delay") {
      if (!take_value() ||
          !parse_seconds(a.name, value, kSysfontDelayMin, kSysfontDelayMax, &o.sysfont_delay, error))
        return false;
    } else if (a.name == "--log") {
      if (!take_value()) return false;
      if (*value == '\0') {
        *error = "--log needs a folder";
        return false;
      }
      o.log_dir = value;
    } else if (a.name == "--backup") {
      if (!take_value()) return false;
      o.backup = value;
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    if (a.has_inline_value && value == nullptr) {
      *error = a.name + " takes no value";
      return false;
    }
  }
  if (o.ports.empty()) o.ports.push_back("com3");
  if (files.size() > 1) {
    *error = "one chipset file at a time, not " + std::to_string(files.size());
    return false;
  }
  if (!files.empty()) o.chipset = files.front();
  if (!o.help && !o.list_ports && (!read_mode_usage(o, error) || !resume_usage(o, error))) return false;
  if (!o.help && !o.list_ports && o.chipset.empty() && o.backup.empty()) {
    *error = "no chipset file named";
    return false;
  }
  *options = o;
  return true;
}

std::string burn_usage_text() {
  return "usage: tvbox-burn [options] CHIPSET\n"
         "       tvbox-burn --backup FILE [-p PORT] [--sections flash,osd]\n"
         "       tvbox-burn --compare [-p PORT ...] CHIPSET\n"
         "       tvbox-burn --info [--json] CHIPSET\n"
         "       tvbox-burn --resume [-p PORT ...] [--log DIR] CHIPSET\n"
         "Burns a chipset file into one or more TV boxes at once.\n"
         "\n"
         "  -p, --port NAME        a programming port: comN, or a device path such as\n"
         "                         /dev/ttyUSB0 (repeat it to burn several boxes at\n"
         "                         once; default com3)\n"
         "      --sections LIST    some of pic,flash,osd,rusfont (default: every section\n"
         "                         the file holds)\n"
         "      --sysfont          also burn the system font afterwards\n"
         "      --verify           read back the flash and the OSD memory and compare\n"
         "      --flash-delay S    seconds between the PIC and Flash stages (3-20, default 3)\n"
         "      --sysfont-delay S  seconds before the system font (6-30, default 6)\n"
         "      --log DIR          where the log files go (default\n"
         "                         $XDG_STATE_HOME/tvbox/logs or ~/.local/state/tvbox/logs)\n"
         "      --json             print one JSON summary to standard output at the end\n"
         "      --list-ports       list the serial ports this machine has and exit\n"
         "      --trace            the diagnostic trace to standard error\n"
         "      --backup FILE      read the box's flash and OSD memory into FILE, a\n"
         "                         chipset file (gzip when FILE ends in .gz); one port;\n"
         "                         --sections flash or osd reads only that one\n"
         "      --compare          compare the box with CHIPSET's flash and OSD records;\n"
         "                         nothing is written to the box\n"
         "      --info             tell what CHIPSET holds and whether it would burn; opens\n"
         "                         no port (with --json: one JSON object)\n"
         "      --resume           continue each port's last burn of CHIPSET where it failed\n"
         "                         or was stopped, as its saved log tells (in --log DIR)\n"
         "  -h, --help             this text\n"
         "\n"
         "Exit status: 0 every box burned (backed up, matched); 1 at least one box\n"
         "failed or differs; 2 a usage error, a chipset file that does not load\n"
         "cleanly, or (--resume) a port with nothing to resume (nothing is sent to\n"
         "it); 130 interrupted.\n";
}

}  // namespace tv
