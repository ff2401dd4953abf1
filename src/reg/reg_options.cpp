#include "reg/reg_options.h"

#include <cstring>

namespace tv {

bool parse_reg_options(int argc, const char* const* argv, RegOptions* options, std::string* error) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.empty() || arg[0] != '-') break;
    const bool takes_value = arg == "-p" || arg == "--port" || arg == "--script";
    if (takes_value && i + 1 >= argc) {
      *error = arg + " needs a value";
      return false;
    }
    if (arg == "-p" || arg == "--port") {
      options->port = argv[++i];
      if (options->port.empty()) {
        *error = arg + " needs a port name";
        return false;
      }
    } else if (arg == "--script") {
      options->script = argv[++i];
    } else if (arg == "--keep-going") {
      options->keep_going = true;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--trace") {
      options->trace = true;
    } else if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  for (; i < argc; ++i) options->command.push_back(argv[i]);
  if (options->help || options->version) return true;
  if (!options->script.empty() && !options->command.empty()) {
    *error = "give either a command or --script, not both";
    return false;
  }
  if (options->script.empty() && options->command.empty()) {
    *error = "no command given";
    return false;
  }
  return true;
}

std::string step_place(const ScriptStep& step) {
  if (step.source.empty()) return std::string();
  return step.source + ":" + std::to_string(step.line) + ": ";
}

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool read_script(std::istream& in, const std::string& name, std::vector<ScriptStep>* steps,
                 std::string* error) {
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    // A script saved by a Windows editor may begin with a byte-order mark.
    if (number == 1 && text.rfind(kUtf8ByteOrderMark, 0) == 0) text.erase(0, sizeof kUtf8ByteOrderMark - 1);
    const std::vector<std::string> words = script_words(text);
    if (words.empty()) continue;
    ScriptStep step;
    step.source = name;
    step.line = number;
    step.text = text;
    while (!step.text.empty() && (step.text.back() == '\r' || step.text.back() == ' ')) step.text.pop_back();
    std::string why;
    if (!parse_register_command(words, &step.command, &why)) {
      *error = step_place(step) + why;
      return false;
    }
    steps->push_back(step);
  }
  if (in.bad()) {
    *error = name + ": cannot be read";
    return false;
  }
  return true;
}

std::string reg_usage_text() {
  return "Usage: tvbox-reg [OPTIONS] COMMAND [ARGUMENTS]\n"
         "       tvbox-reg [OPTIONS] --script FILE\n"
         "Reads and writes single registers of the TV box, as the window's register\n"
         "console does. Numbers are hexadecimal, except those of scaler and watch.\n"
         "\n"
         "Commands:\n"
         "  read SLAVE REG                  read a register of an I2C device\n"
         "  write SLAVE REG VALUE           write a register of an I2C device\n"
         "  read osd ADDR [SLAVE CMD]       read a register of the OSD processor\n"
         "  write osd ADDR VALUE [SLAVE CMD]\n"
         "                                  write a register of the OSD processor\n"
         "  writestr LIST1 LIST2            the console's two-packet long write; a list\n"
         "                                  is up to 7 bytes (b4,32,00), \"-\" for none\n"
         "  scaler WI WO NI NO WOSZ         the ten scaler registers fe d0..d9\n"
         "  watch [SECONDS]                 show every byte the box sends, until\n"
         "                                  SECONDS have passed or ctrl-C\n"
         "\n"
         "Options:\n"
         "  -p, --port PORT    comN or a device path (default: the first of\n"
         "                     $TVBOX_PORTS, else the window's port, else com3)\n"
         "  --script FILE      one command a line, # comments; \"-\" reads standard\n"
         "                     input. The whole script is checked before anything\n"
         "                     is sent; it stops at the first failure\n"
         "  --keep-going       go on after a failed command\n"
         "  --json             one JSON object a command (JSON Lines)\n"
         "  --trace            every packet byte on standard error\n"
         "  -h, --help         this text\n"
         "  --version          the program's version\n"
         "\n"
         "Exit status: 0 done, 1 the box failed (no answer, a refused packet, a port\n"
         "that cannot be used), 2 a usage error or a script line that does not parse,\n"
         "128+N stopped by signal N.\n";
}

}  // namespace tv
