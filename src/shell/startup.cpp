#include "shell/startup.h"

#include <fox-1.6/fx.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/port_problem.h"
#include "link/ports.h"
#include "base/trace.h"
#include "text/catalogue.h"
#include "shell/burn_page.h"
#include "shell/config_lists.h"
#include "text/data_files.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/window_parts.h"

namespace tv {
namespace {

const char kConfigListsFile[] = "h_tvbox.cfg";

// A box that answers this packet at all is not a model this program serves.
const uint8_t kProbePacket[12] = {0x05, 0xFA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D};

// More than the box ever queues up on its own; past this it is talking
// continuously and start-up goes on rather than waiting for it to stop.
constexpr size_t kDrainLimitBytes = 1 << 20;

bool application_is_ours = false;

// "<what> <name> (<device>): <why>", in the user's language.
FX::FXString port_problem_text(const char* what_key, const char* what_english,
                               const std::string& name, int open_result) {
  const std::string device = port_device_path(name);
  const PortProblem problem = diagnose_port(device, open_result);
  FX::FXString text = ui_text_or(what_key, what_english);
  text += FX::FXStringFormat(" %s (%s): ", name.c_str(), device.c_str());
  text += ui_text_or(port_problem_key(problem), port_problem_english(problem));
  return text;
}

// The control line is opened before the window exists: why it failed is
// kept until the window can say it.
int control_open_result = 0;

void open_control_port() {
  trace("1 _r_fn %s\n", _r_fn);
  int result = xs_open(control_port_number);
  control_open_result = result < 0 ? 1 : 0;
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
}

void apply_geometry_and_delays(const SavedSettings& settings) {
  const WindowGeometry& geometry = settings.geometry;
  main_window->flashDelay = settings.delays.flash;
  main_window->sysfontDelay = settings.delays.sysfont;
  main_window->burn().verify = settings.verify;
  main_window->position(geometry.x, geometry.y, geometry.w, geometry.h);
  main_window->raise();
}

void open_programming_port() {
  std::string name = main_window->comPort.text();
  trace("(%s)\n", name.c_str());
  const int result = open_com(name.c_str());
  main_window->setPortLamp(result == 0);
  if (result != 0) {
    main_window->programmingPortProblem =
        port_problem_text("m_port_open", "The programming port did not open", name, result);
    main_window->showPortProblem(main_window->programmingPortProblem);
  }
  if (control_open_result != 0) {
    const std::string control_name = FX::FXStringFormat("COM%d", control_port_number).text();
    main_window->controlPortProblem = port_problem_text(
        "m_ctrl_open", "The control line did not open", control_name, control_open_result);
    // The programming port matters more; its problem keeps the status bar.
    if (result == 0) main_window->showPortProblem(main_window->controlPortProblem);
    else trace("%s\n", main_window->controlPortProblem.text());
  }
  // The lamp picture swapped in after the window was created has no server
  // side yet; painting it so would abort the toolkit.
  if (main_window->portIndicator && main_window->portIndicator->getIcon()) {
    main_window->portIndicator->getIcon()->create();
  }
}

void load_config_lists() {
  ConfigLists lists;
  const std::string path = find_data_file(kConfigListsFile);
  if (!path.empty() && read_config_lists(path, &lists)) apply_config_lists(*main_window, lists);
}

}  // namespace

CommandLineOptions parse_command_line(int argc, char** argv) {
  CommandLineOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!argument || (argument[0] != '-' && argument[0] != '/')) continue;
    if (std::strcmp(argument, "--version") == 0) options.show_version = true;
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
  text += "  cN\t\tCOM<N> is the control line (default COM5)\n";
  text += "  a\t\tshow the register console\n";
  text += "  --version\tprint the version and exit\n";
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
  const SavedSettings settings = load_settings(application->reg());
  choose_language_file(settings);

  main_window = new X_SRV_K_Window(application);
  application->create();
  apply_stored_names(settings);

  // With no port stored the probe asks the port the program is about to use
  // anyway, so an unsupported box is caught on a first start too.
  device_unsupported = probe_box(settings.com_port);
  main_window->hideStartupTabs(extended_mode);
  apply_geometry_and_delays(settings);
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
