#include "shell/startup.h"

#include <fox-1.6/fx.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/trace.h"
#include "link/box_link.h"
#include "link/ports.h"
#include "shell/burn_page.h"
#include "shell/config_lists.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/settings.h"
#include "shell/window_parts.h"
#include "text/catalogue.h"
#include "text/data_files.h"

namespace tv {
namespace {

const char kConfigListsFile[] = "h_tvbox.cfg";

// A box that answers this packet at all is not a model this program serves.
const uint8_t kProbePacket[12] = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};

// More than the box ever queues up on its own; past this it is talking
// continuously and start-up goes on rather than waiting for it to stop.
constexpr size_t kDrainLimitBytes = 1 << 20;

bool application_is_ours = false;

// The control line is opened before the window exists: how it went is kept
// until the window can say it.
struct ControlOpen {
  OpenResult result = kOpened;
  int error_number = 0;
};

ControlOpen open_control_port(SerialPort& port) {
  trace("1 _r_fn %s\n", _r_fn);
  ControlOpen open;
  open.result = xs_open(port, control_port_number, &open.error_number);
  trace("2 _r_fn %s\n", _r_fn);
  const int handle = port.is_open() ? port.fd() : -1;
  trace("main %d com %d  <%X> %d\n", handle, control_port_number, static_cast<unsigned>(handle), 0);
  return open;
}

void create_application(int argc, char** argv, FX::FXApp* existing_app) {
  trace("3 _r_fn %s\n", _r_fn);
  application_is_ours = existing_app == nullptr;
  if (application_is_ours) {
    application = new FX::FXApp("TV Box", "Harnvale");
    application->init(argc, argv);
  } else {
    application = existing_app;
  }
  trace("4 _r_fn %s\n", _r_fn);
}

// Before the window is built, so its captions come from the chosen file;
// without a stored language the first start is in Russian.
void choose_language_file(const SavedSettings& settings) {
  set_language_file("lang.ru");
  if (!settings.language_stored) return;
  trace("%s\n", settings.language.c_str());
  set_language_file(language_file_for(settings.language).c_str());
  trace("_r_fn %s\n", _r_fn);
}

void apply_stored_names(const SavedSettings& settings) {
  main_window->language = settings.language.c_str();
  main_window->comPort = settings.com_port.c_str();
  main_window->setBoxPorts(settings.box_ports);
}

void apply_geometry_and_delays(const SavedSettings& settings) {
  const WindowGeometry& geometry = settings.geometry;
  main_window->flashDelay = settings.delays.flash;
  main_window->sysfontDelay = settings.delays.sysfont;
  main_window->burn().verify = settings.verify;
  main_window->position(geometry.x, geometry.y, geometry.w, geometry.h);
  main_window->raise();
}

// From here on the window keeps both lines open, trying again while one is
// closed.
void open_programming_port(const ControlOpen& control) {
  main_window->ports().openAtStart(main_window->comPort.text(), control_port_number, control.result,
                                   control.error_number);
}

void load_config_lists() {
  ConfigLists lists;
  const std::string path = find_data_file(kConfigListsFile);
  if (!path.empty() && read_config_lists(path, &lists)) apply_config_lists(main_window->console(), lists);
}

}  // namespace

CommandLineOptions parse_command_line(int argc, char** argv) {
  CommandLineOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!argument || (argument[0] != '-' && argument[0] != '/')) continue;
    if (std::strcmp(argument, "--version") == 0) options.show_version = true;
    if (std::strcmp(argument, "--help") == 0) options.show_help = true;
    switch (argument[1]) {
      case 'h':
      case 'H':
      case '?': options.show_usage = true; break;
      case 'c':
      case 'C': options.control_port = std::atoi(argument + 2); break;
      case 'a': options.extended_mode = true; break;
      default: break;
    }
  }
  return options;
}

std::string usage_text(const char* program) {
  std::string text = "Usage: ";
  text += program ? program : "";
  text += " [ -sw [ -sw ..] ]  \n\n<Switches>\n\n";
  text += "  h\t\tthis help\n";
  text += "  cN\t\tCOM<N> is the control line (default COM5)\n";
  text += "  a\t\tshow the register console\n";
  text += "  --version\tprint the version and exit\n";
  text += "  --help\t\tprint this help and exit\n";
  return text;
}

std::string language_file_for(const std::string& stored_language) {
  size_t blank = stored_language.find(' ');
  if (blank == std::string::npos) return "lang.ru";
  std::string name = "lang." + stored_language.substr(blank + 1);
  if (name.size() >= kLangFileNameSize) name.resize(kLangFileNameSize - 1);
  return name;
}

bool probe_box(SerialPort& port, const std::string& port_name) {
  trace("(%s)\n", port_name.c_str());
  bool answered = false;
  if (open_com(port, port_name) == kOpened) {
    port.write(kProbePacket, sizeof(kProbePacket));
    port.drain();
    uint8_t answer[4];
    answered = BoxLink(port).wait_read(answer, sizeof(answer), 1) == BoxLink::kReadComplete;
  }
  port.close();
  return answered;
}

size_t drain_programming_port(SerialPort& port) {
  if (!port.is_open()) return 0;
  uint8_t buffer[500];
  size_t dropped = 0;
  while (dropped < kDrainLimitBytes) {
    long got = port.read(buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    dropped += static_cast<size_t>(got);
  }
  return dropped;
}

void start_program(int argc, char** argv, FX::FXApp* existing_app) {
  CommandLineOptions options = parse_command_line(argc, argv);
  if (options.show_usage) {
    std::fputs(usage_text(argc > 0 ? argv[0] : "").c_str(), stdout);
    std::fflush(stdout);
  }
  control_port_number = options.control_port;
  extended_mode = options.extended_mode;

  std::unique_ptr<BoxLines> lines(new BoxLines);
  const ControlOpen control = open_control_port(lines->control);
  create_application(argc, argv, existing_app);
  const SavedSettings settings = load_settings(application->reg());
  choose_language_file(settings);

  main_window = new X_SRV_K_Window(application, std::move(lines));
  application->create();
  apply_stored_names(settings);

  // With no port stored the probe asks the port the program is about to use
  // anyway, so an unsupported box is caught on a first start too.
  main_window->lines().first.set_unsupported(probe_box(main_window->lines().programming, settings.com_port));
  main_window->hideStartupTabs(extended_mode);
  apply_geometry_and_delays(settings);
  open_programming_port(control);
  main_window->burn().openOtherLines();
  load_config_lists();
  drain_programming_port(main_window->lines().programming);
}

int run_event_loop() { return application->run(); }

void shut_down_program() {
  // A worker still talking to the box (the event loop may have ended in the
  // middle of a burn) stops before its ports close under it.
  // The window's lines close with it; the control line first, as always.
  if (main_window) {
    main_window->stopWorkers();
    main_window->lines().control.close();
    main_window->lines().programming.close();
  }
  if (application_is_ours) {
    delete application;  // takes every window with it
  } else if (main_window) {
    main_window->removePollTimer();
    delete main_window;
  }
  main_window = nullptr;
  application = nullptr;
  application_is_ours = false;
}

int run_program(int argc, char** argv) {
  start_program(argc, argv);
  int exit_code = run_event_loop();
  shut_down_program();
  return exit_code;
}

}  // namespace tv
