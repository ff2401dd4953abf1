#include "shell/startup.h"

#include <fox-1.6/fx.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "link/ports.h"
#include "link/trace.h"
#include "shell/burn_page.h"
#include "shell/catalogue.h"
#include "shell/config_lists.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/settings.h"

namespace tv {
namespace {

const char kConfigListsFile[] = "h_tvbox.cfg";
const char kDefaultComPort[] = "com3";
const char kDefaultLanguage[] = "RUSSIAN ru";

// A box that answers this packet at all is not a model this program serves.
const uint8_t kProbePacket[12] = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};

// More than the box ever queues up on its own; past this it is talking
// continuously and start-up goes on rather than waiting for it to stop.
constexpr size_t kDrainLimitBytes = 1 << 20;

bool application_is_ours = false;

void open_control_port() {
  trace("1 _r_fn %s\n", _r_fn);
  int result = xs_open(control_port_number);
  trace("2 _r_fn %s\n", _r_fn);
  trace("main %d com %d  <%X> %d\n", result, control_port_number,
        static_cast<unsigned>(result), 0);
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

void choose_language_file(FX::FXRegistry& registry) {
  set_language_file("lang.ru");
  std::string stored;
  if (!read_stored_string(registry, "settings", "lang", &stored)) return;
  trace("%s\n", stored.c_str());
  set_language_file(language_file_for(stored).c_str());
  trace("_r_fn %s\n", _r_fn);
}

void apply_stored_names(FX::FXRegistry& registry) {
  main_window->language = kDefaultLanguage;
  main_window->comPort = kDefaultComPort;
  std::string stored;
  if (read_stored_string(registry, "settings", "lang", &stored)) {
    main_window->language = stored.c_str();
  }
  if (read_stored_string(registry, "settings", "comm", &stored)) {
    main_window->comPort = stored.c_str();
  }
}

// With no port stored the probe asks the port the program is about to use
// anyway, so an unsupported box is caught on a first start too.
std::string probe_port_name(FX::FXRegistry& registry) {
  std::string name = kDefaultComPort;
  read_stored_string(registry, "settings", "comm", &name);
  return name;
}

void apply_geometry_and_delays(FX::FXRegistry& registry) {
  WindowGeometry geometry = read_position(registry);
  BurnDelays delays = read_delays(registry);
  main_window->flashDelay = delays.flash;
  main_window->sysfontDelay = delays.sysfont;
  main_window->burn().verify = read_verify(registry);
  main_window->position(geometry.x, geometry.y, geometry.w, geometry.h);
  main_window->raise();
}

void open_programming_port() {
  std::string name = main_window->comPort.text();
  trace("(%s)\n", name.c_str());
  main_window->setPortLamp(open_com(name.c_str()) == 0);
  // The lamp picture swapped in after the window was created has no server
  // side yet; painting it so would abort the toolkit.
  if (main_window->portIndicator && main_window->portIndicator->getIcon()) {
    main_window->portIndicator->getIcon()->create();
  }
}

void load_config_lists() {
  ConfigLists lists;
  if (read_config_lists(kConfigListsFile, &lists)) apply_config_lists(*main_window, lists);
}

}  // namespace

CommandLineOptions parse_command_line(int argc, char** argv) {
  CommandLineOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!argument || (argument[0] != '-' && argument[0] != '/')) continue;
    switch (argument[1]) {
      case 'h':
      case 'H':
      case '?':
        options.show_usage = true;
        break;
      case 'c':
      case 'C':
        options.control_port = std::atoi(argument + 2);
        break;
      case 'a':
        options.extended_mode = true;
        break;
      default:
        break;
    }
  }
  return options;
}

std::string usage_text(const char* program) {
  std::string text = "Usage: ";
  text += program ? program : "";
  text += " [ -sw [ -sw ..] ]  \n\n<Switches>\n\n";
  text += "  h\t\tthis help\n";
  return text;
}

std::string language_file_for(const std::string& stored_language) {
  size_t blank = stored_language.find(' ');
  if (blank == std::string::npos) return "lang.ru";
  std::string name = "lang." + stored_language.substr(blank + 1);
  if (name.size() >= kLangFileNameSize) name.resize(kLangFileNameSize - 1);
  return name;
}

bool probe_box(const std::string& port_name) {
  trace("(%s)\n", port_name.c_str());
  bool answered = false;
  if (open_com(port_name.c_str()) == 0) {
    SerialPort& port = programming_port();
    port.write(kProbePacket, sizeof(kProbePacket));
    port.drain();
    uint8_t answer[4];
    answered = wait_read(answer, sizeof(answer), 1) == 0;
  }
  close_com();
  return answered;
}

size_t drain_programming_port() {
  SerialPort& port = programming_port();
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
  device_unsupported = false;

  open_control_port();
  create_application(argc, argv, existing_app);
  FX::FXRegistry& registry = application->reg();
  choose_language_file(registry);

  main_window = new X_SRV_K_Window(application);
  application->create();
  apply_stored_names(registry);

  device_unsupported = probe_box(probe_port_name(registry));
  main_window->hideStartupTabs(extended_mode);
  apply_geometry_and_delays(registry);
  open_programming_port();
  load_config_lists();
  drain_programming_port();
}

int run_event_loop() { return application->run(); }

void shut_down_program() {
  // A worker still talking to the box (the event loop may have ended in the
  // middle of a burn) stops before its ports close under it.
  if (main_window) main_window->stopWorkers();
  xs_close();
  close_com();
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
