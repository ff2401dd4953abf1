#include "reg/reg_program.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "cli/bounded_output.h"
#include "cli/burn_display.h"
#include "cli/burn_options.h"
#include "cli/stop_signals.h"
#include "cli/window_settings.h"
#include "link/box_link.h"
#include "link/port_problem.h"
#include "link/ports.h"
#include "link/register_exchange.h"
#include "reg/reg_options.h"

namespace tv {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kWatchReadMs = 100;
constexpr size_t kWatchChunk = 256;

void tell(const std::string& message) {
  write_bounded(STDERR_FILENO, "tvbox-reg: " + message + "\n", kMessageWaitMs);
}

void print(const std::string& text) { write_bounded(STDOUT_FILENO, text, kResultWaitMs); }

// ---- signals -------------------------------------------------------------------
// Taken by one thread with sigwait: the first stop signal is kept for the exit
// status and cuts every wait on the port short.

std::atomic<int> g_signal{0};
std::mutex g_port_mutex;
SerialPort* g_port = nullptr;  // guarded by g_port_mutex

void take_stop_signal(int signal_number) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signal_number);
  std::lock_guard<std::mutex> lock(g_port_mutex);
  if (g_port) g_port->abandon_waits(true);
}

int signal_status() {
  const int signal_number = g_signal;
  return signal_number ? 128 + signal_number : 0;
}

class WatchedPort {
 public:
  explicit WatchedPort(SerialPort& port) {
    std::lock_guard<std::mutex> lock(g_port_mutex);
    g_port = &port;
    if (g_signal) port.abandon_waits(true);
  }
  ~WatchedPort() {
    std::lock_guard<std::mutex> lock(g_port_mutex);
    g_port = nullptr;
  }
  WatchedPort(const WatchedPort&) = delete;
  WatchedPort& operator=(const WatchedPort&) = delete;
};

// ---- the port ------------------------------------------------------------------

std::string chosen_port(const RegOptions& options) {
  if (!options.port.empty()) return options.port;
  const WindowSettings window = read_window_settings(window_settings_path());
  return default_ports(std::getenv("TVBOX_PORTS"), window.ports).front();
}

// Empty when the line is open; else why not, in the words the window uses.
// Bytes already waiting are an earlier session's, and no answer to this
// one's packets; a watch shows them, as it shows everything the box sent.
std::string open_port(SerialPort& port, const std::string& name, bool keep_waiting_bytes) {
  int error_number = 0;
  const OpenResult result = open_programming_line(port, name, &error_number);
  if (result == kOpened) {
    if (!keep_waiting_bytes) port.purge();
    return std::string();
  }
  const std::string device = port_device_path(name);
  const std::string naming = device == name ? name : name + " (" + device + ")";
  return "cannot open " + naming + ": " + port_open_failure_text(device, result, error_number) +
         "; nothing was sent";
}

// ---- one command ---------------------------------------------------------------

struct StepResult {
  bool ok = true;
  std::string error;
  std::vector<std::string> sent;  // each packet in hex
  std::vector<uint8_t> answer;    // every byte the box answered
  std::string output;             // the lines for people
  Json value = nullptr;
  std::string time;  // when the command was sent, RFC 3339 UTC
};

std::string two_hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", value & 0xFF);
  return text;
}

// "fe 07", "osd 1234", "osd b4 10 1234": what a register line names.
std::string register_name(const RegisterRequest& request) {
  if (!request.osd) return two_hex(request.slave) + " " + two_hex(request.address);
  char text[32];
  if (request.slave || request.command)
    std::snprintf(text, sizeof text, "osd %02x %02x %04x", request.slave, request.command, request.address);
  else
    std::snprintf(text, sizeof text, "osd %04x", request.address);
  return text;
}

void run_packets(BoxLink& link, const RegisterCommand& command, StepResult* step) {
  std::string error;
  const std::vector<ConsolePacket> packets = command_packets(command, &error);
  for (size_t i = 0; i < packets.size(); ++i) {
    const ConsolePacket& packet = packets[i];
    step->sent.push_back(hex_bytes(packet.bytes.data(), kPacketSize));
    const PacketOutcome outcome = exchange_console_packet(link, packet);
    step->answer.insert(step->answer.end(), outcome.reply.begin(), outcome.reply.end());
    if (outcome.result != kEchoOk) {
      step->ok = false;
      step->error = exchange_failure_text(outcome.result);
      if (packets.size() > 1)
        step->error += " (packet " + std::to_string(i + 1) + " of " + std::to_string(packets.size()) + ")";
      return;
    }
    if (command.verb == RegisterVerb::Read) {
      step->value = two_hex(static_cast<unsigned>(outcome.value));
      step->output += register_name(command.request) + " = " + two_hex(unsigned(outcome.value)) + "\n";
    } else if (command.verb == RegisterVerb::Write) {
      step->output += register_name(command.request) + " = " + two_hex(command.request.data) + "\n";
    } else if (command.verb == RegisterVerb::Scaler) {
      step->output +=
          two_hex(packet.bytes[7]) + " " + two_hex(packet.bytes[5]) + " = " + two_hex(packet.bytes[6]) + "\n";
    }
  }
  if (command.verb == RegisterVerb::WriteStr) step->output += "writestr: both packets echoed\n";
}

// Every byte the box sends, with its time, until the seconds are over or a
// signal came. Lines go out as they come: a watch is read by a person.
void run_watch(SerialPort& port, const RegisterCommand& command, bool json, StepResult* step) {
  const bool endless = command.seconds <= 0;
  Deadline deadline(endless ? 0 : static_cast<int64_t>(command.seconds * 1000.0));
  while (!g_signal && (endless || !deadline.expired())) {
    const int wait =
        endless ? kWatchReadMs : static_cast<int>(std::min<int64_t>(kWatchReadMs, deadline.remaining_ms()));
    uint8_t bytes[kWatchChunk];
    const long got = port.read(bytes, sizeof bytes, wait);
    if (got < 0) {
      if (g_signal) break;
      step->ok = false;
      step->error = "the line to the box was lost";
      return;
    }
    std::string lines;
    for (long i = 0; i < got; ++i) lines += time_of_day_stamp() + " " + received_byte_line(bytes[i]);
    step->answer.insert(step->answer.end(), bytes, bytes + got);
    if (!json && !lines.empty()) print(lines);
  }
}

Json step_json(const ScriptStep& step, const std::string& port, const StepResult& result) {
  Json sent = Json::array();
  for (const std::string& packet : result.sent) sent.push_back(packet);
  Json object = json_head(register_verb_name(step.command.verb), "tvbox-reg");
  object.update({{"time", result.time},
                 {"port", port},
                 {"script", step.source.empty() ? Json() : Json(step.source)},
                 {"line", step.source.empty() ? Json() : Json(step.line)},
                 {"command", step.text},
                 {"sent", sent},
                 {"answer", hex_bytes(result.answer.data(), result.answer.size())},
                 {"value", result.value},
                 {"ok", result.ok},
                 {"error", result.ok ? Json() : Json(result.error)}});
  return object;
}

std::string json_line(const Json& object) { return json_text(object, true); }

// A run that never reached the box: the reason, and in JSON the same.
int refuse(const RegOptions& options, const std::string& mode, const std::string& why, int status) {
  tell(why);
  if (options.json) {
    Json object = json_head(mode, "tvbox-reg");
    object.update({{"ok", false}, {"error", why}, {"exit_code", status}});
    print(json_line(object));
  }
  return status;
}

bool collect_steps(const RegOptions& options, std::vector<ScriptStep>* steps, std::string* error) {
  if (options.script.empty()) {
    ScriptStep step;
    for (const std::string& word : options.command) step.text += (step.text.empty() ? "" : " ") + word;
    if (!parse_register_command(options.command, &step.command, error)) return false;
    steps->push_back(step);
    return true;
  }
  if (options.script == "-") return read_script(std::cin, "-", steps, error);
  std::ifstream file(options.script);
  if (!file) {
    *error = "cannot read the script " + options.script;
    return false;
  }
  return read_script(file, options.script, steps, error);
}

int run_steps(const RegOptions& options, const std::vector<ScriptStep>& steps) {
  const std::string port_name = chosen_port(options);
  SerialPort port;
  const std::string why = open_port(port, port_name, steps.front().command.verb == RegisterVerb::Watch);
  if (!why.empty())
    return refuse(options, register_verb_name(steps.front().command.verb), why, kRegExitBoxFailed);
  WatchedPort watched(port);
  BoxLink link(port);
  int status = kRegExitOk;
  for (const ScriptStep& step : steps) {
    if (g_signal) break;
    StepResult result;
    result.time = json_time_now().utc;
    if (step.command.verb == RegisterVerb::Watch)
      run_watch(port, step.command, options.json, &result);
    else
      run_packets(link, step.command, &result);
    if (g_signal && !result.ok) break;  // cut short by the stop, not failed by the box
    if (options.json)
      print(json_line(step_json(step, port_name, result)));
    else
      print(result.output);
    if (result.ok) continue;
    tell(step_place(step) + step.text + ": " + result.error);
    status = kRegExitBoxFailed;
    if (!options.keep_going) break;
  }
  return signal_status() ? signal_status() : status;
}

}  // namespace

int tvbox_reg_main(int argc, char** argv) {
  ignore_broken_pipe_signal();
  take_stop_signals_on_a_thread(take_stop_signal);
  RegOptions options;
  std::string error;
  for (int i = 1; i < argc; ++i) options.json = options.json || std::string(argv[i]) == "--json";
  if (!parse_reg_options(argc, argv, &options, &error))
    return refuse(options, "usage", error + " (tvbox-reg --help lists the commands)", kRegExitUsage);
  if (options.help || options.version) {
    print(options.help ? reg_usage_text() : std::string("tvbox-reg ") + TVBOX_VERSION + "\n");
    return kRegExitOk;
  }
  set_trace_destination(TraceDestination::StandardError);
  set_trace_enabled(options.trace);
  std::vector<ScriptStep> steps;
  if (!collect_steps(options, &steps, &error)) return refuse(options, "usage", error, kRegExitUsage);
  if (steps.empty()) return kRegExitOk;  // a script of comments only
  return run_steps(options, steps);
}

}  // namespace tv
