// What the window costs the machine: the process CPU while the program sits
// idle with the register console shown and a box attached, while it sits idle
// with its programming port missing (tried again every 2 s), and while it
// burns a chipset; then, as a burn station, the wall time of one box against
// N boxes burned at once from the window, the CPU per box while they burn,
// and the CPU while it sits idle with N rows. Needs an X display. Prints
// figures; asserts nothing.
//
// The box is the tvbox-sim program, a process of its own pacing its line at
// 57600 baud, so the CPU time measured here is the program's alone. The
// window runs FOX's own event loop (FXApp::run), as the program does.
//
// Targets: N boxes in at most 1.10 x the one-box time; at most 1% of one core
// per box while they burn, 0.5% idle with N rows.
//
//   window_cpu_bench [--idle-s N] [--skip-burn] [--boxes N] [--chipset PATH] [--sim PATH]
#include <fox-1.6/fx.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "dbkit/FXMessageSeam.h"
#include "link/ports.h"
#include "shell/box_row.h"
#include "shell/burn_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/globals.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/window_ids.h"
#include "support/paced_sim.h"

namespace {

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The simulator runs as a child until stop(); its "ready" line says that
// its ports exist.
struct SimChild {
  pid_t pid = -1;
  int output = -1;

  bool start(const std::string& program, const std::string& ports) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(program.c_str(), program.c_str(), "--port-dir", ports.c_str(), "--pace",
            static_cast<char*>(nullptr));
      std::fprintf(stderr, "cannot run %s: %s\n", program.c_str(), std::strerror(errno));
      _exit(127);
    }
    close(out[1]);
    output = out[0];
    std::string seen;
    while (seen.find("ready\n") == std::string::npos) {
      pollfd p{output, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) return false;
      char buf[256];
      ssize_t n = read(output, buf, sizeof buf);
      if (n <= 0) return false;
      seen.append(buf, size_t(n));
    }
    return true;
  }

  void stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    if (output >= 0) close(output);
    pid = -1;
  }
};

// Runs the program's own event loop for `ms` and returns the CPU share of
// one core it took.
double idle_share(FX::FXApp& app, int ms) {
  const double cpu_before = cpu_seconds();
  const int64_t start = tv::monotonic_ms();
  app.addTimeout(&app, FX::FXApp::ID_QUIT, ms);
  app.run();
  const double wall = (tv::monotonic_ms() - start) / 1000.0;
  return 100.0 * (cpu_seconds() - cpu_before) / wall;
}

// One more paced box for the station: its own simulator process on comN
// (its control line on com(N+20), out of the way), in the shared port folder.
bool start_station_box(const std::string& program, const std::string& port_dir, int number,
                       benchsupport::SimProcess* sim) {
  char dir_template[] = "/tmp/tvbox-window-bench-box-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  if (!dir) return false;
  return benchsupport::start_sim(program, dir, sim,
                                 {"--port-dir", port_dir, "--prog", "com" + std::to_string(number), "--ctrl",
                                  "com" + std::to_string(number + 20)});
}

// Burn all from the window, as the engineer clicks it, until the round's
// completion box; returns the wall seconds, and the process CPU in `cpu`.
double burn_round(FX::FXApp& app, X_SRV_K_Window* window, double* cpu, bool* completed) {
  *completed = false;
  tv::set_message_hook([&](const tv::MessageRecord& record) {
    if (record.caption == "Burning...") {
      *completed = true;
      app.exit(0);
    }
    return static_cast<FX::FXuint>(FX::MBOX_CLICKED_OK);
  });
  const double cpu_before = cpu_seconds();
  const int64_t start = tv::monotonic_ms();
  window->handle(nullptr, FXSEL(FX::SEL_COMMAND, tv::ID_BURN), nullptr);
  if (window->burn().burnRunning()) app.run();
  *cpu = cpu_seconds() - cpu_before;
  tv::set_message_hook({});
  return (tv::monotonic_ms() - start) / 1000.0;
}

int boxes_ok(X_SRV_K_Window* window) {
  int ok = 0;
  for (tv::BoxRow* row : window->burn().rows()) ok += row->box().status().state == tv::BoxState::Ok;
  return ok;
}

// The station: one box, then `count` at once, then idle with `count` rows.
void station_figures(FX::FXApp& app, X_SRV_K_Window* window, const std::string& sim_program,
                     const std::string& port_dir, int count, int idle_s) {
  double cpu = 0;
  bool completed = false;
  const double one = burn_round(app, window, &cpu, &completed);
  std::printf("station, 1 box: %s in %.1f s\n", completed ? "completed" : "did not complete", one);
  std::vector<benchsupport::SimProcess> sims(size_t(count > 1 ? count - 1 : 0));
  for (size_t i = 0; i < sims.size(); ++i) {
    const int number = 4 + int(i);
    FX::FXString why;
    if (!start_station_box(sim_program, port_dir, number, &sims[i]) ||
        !window->burn().addBox("com" + std::to_string(number), &why)) {
      std::fprintf(stderr, "box com%d could not be added: %s\n", number, why.text());
      count = 1 + int(i);
      sims.resize(i + 1);
      break;
    }
  }
  const double many = burn_round(app, window, &cpu, &completed);
  std::printf(
      "station, %d boxes at once: %s in %.1f s = %.3f x one box (target <= 1.10), %d of %d OK; "
      "process CPU %.2f s = %.2f %% of one core per box (target <= 1)\n",
      count, completed ? "completed" : "did not complete", many, one > 0 ? many / one : 0.0, boxes_ok(window),
      count, cpu, 100.0 * cpu / many / count);
  const double idle = idle_share(app, idle_s * 1000);
  std::printf("station idle with %d rows: %.2f %% of one core over %d s (target < 0.5)\n", count, idle,
              idle_s);
  for (benchsupport::SimProcess& sim : sims) benchsupport::stop_sim(&sim, 5000);
}

}  // namespace

int main(int argc, char** argv) {
  int idle_s = 10;
  int station_boxes = 8;
  bool skip_burn = false;
  std::string chipset = std::string(TVBOX_SOURCE_DIR) + "/data/sample.hv";
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--idle-s" && i + 1 < argc)
      idle_s = std::atoi(argv[++i]);
    else if (arg == "--skip-burn")
      skip_burn = true;
    else if (arg == "--boxes" && i + 1 < argc)
      station_boxes = std::atoi(argv[++i]);
    else if (arg == "--chipset" && i + 1 < argc)
      chipset = argv[++i];
    else if (arg == "--sim" && i + 1 < argc)
      sim_program = argv[++i];
  }
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "window_cpu_bench needs an X display\n");
    return 1;
  }
  tv::set_trace_enabled(false);
  char dir_template[] = "/tmp/tvbox-window-bench-XXXXXX";
  const char* port_dir = mkdtemp(dir_template);
  if (!port_dir) return 1;
  setenv("TVBOX_PORT_DIR", port_dir, 1);

  SimChild sim;
  if (!sim.start(sim_program, port_dir)) {
    std::fprintf(stderr, "the simulator did not start (%s)\n", sim_program.c_str());
    sim.stop();
    rmdir(port_dir);
    return 1;
  }
  FX::FXApp app("TV Box bench", "Harnvale");
  int fox_argc = 1;
  app.init(fox_argc, argv);
  extended_mode = true;
  auto* window = new X_SRV_K_Window(&app);
  app.create();
  if (tv::open_com(window->lines().programming, "com3") != 0) {
    std::fprintf(stderr, "cannot open the programming port\n");
    delete window;
    sim.stop();
    rmdir(port_dir);
    return 1;
  }
  window->hideStartupTabs(true);
  window->tabBook->setCurrent(3);  // the console among the visible tabs
  window->setPortLamp(true);

  idle_share(app, 1000);  // the window settles: first paint, fonts
  const double idle = idle_share(app, idle_s * 1000);
  std::printf("idle, register console shown, box attached: %.2f %% of one core over %d s\n", idle, idle_s);

  window->ports().apply("com9");  // no such line: closed, and tried every 2 s
  const double missing = idle_share(app, idle_s * 1000);
  std::printf(
      "idle, programming port missing (tried every %u ms): %.2f %% of one core over %d s "
      "(target < 0.5)\n",
      tv::kPortRetryMs, missing, idle_s);
  window->ports().apply("com3");
  if (!window->lines().programming.is_open()) {
    std::fprintf(stderr, "the programming port did not open again\n");
    skip_burn = true;
  }

  if (!skip_burn) {
    window->flashDelay = 3;
    window->sysfontDelay = 6;
    bool done = false;
    tv::set_message_hook([&](const tv::MessageRecord& record) {
      if (record.caption == "Burning...") {
        done = true;
        app.exit(0);
      }
      return static_cast<FX::FXuint>(FX::MBOX_CLICKED_OK);
    });
    tv::set_file_dialog_hook([&](const tv::FileDialogRequest&, std::string* chosen) {
      *chosen = chipset;
      return true;
    });
    window->handle(nullptr, FXSEL(FX::SEL_COMMAND, tv::ID_OPEN_CHIPSET), nullptr);
    window->tabBook->setCurrent(1);
    const double cpu_before = cpu_seconds();
    const int64_t start = tv::monotonic_ms();
    window->handle(nullptr, FXSEL(FX::SEL_COMMAND, tv::ID_BURN), nullptr);
    if (window->burn().burnRunning()) app.run();
    const double wall = (tv::monotonic_ms() - start) / 1000.0;
    const double cpu = cpu_seconds() - cpu_before;
    std::printf("burn of %s: %s after %.1f s, process CPU %.2f s = %.2f %% of one core\n", chipset.c_str(),
                done ? "completed" : "did not start", wall, cpu, 100.0 * cpu / wall);
    tv::set_message_hook({});
    tv::set_file_dialog_hook({});
    if (done && station_boxes > 0) station_figures(app, window, sim_program, port_dir, station_boxes, idle_s);
  }

  delete window;
  sim.stop();
  rmdir(port_dir);  // the simulator took its port links with it
  return 0;
}
