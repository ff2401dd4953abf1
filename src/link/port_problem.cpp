#include "link/port_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tv {
namespace {

bool is_terminal_device(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;  // cannot tell; the caller's other checks decide
  const bool terminal = isatty(fd) != 0;
  ::close(fd);
  return terminal;
}

}  // namespace

PortProblem diagnose_port(const std::string& device_path, OpenResult open_result, int error_number) {
  if (open_result == kOpened) return PortProblem::None;
  struct stat info;
  if (stat(device_path.c_str(), &info) != 0)
    return errno == EACCES ? PortProblem::PermissionDenied : PortProblem::NoSuchDevice;
  if (!S_ISCHR(info.st_mode)) return PortProblem::NotASerialLine;
  if (access(device_path.c_str(), R_OK | W_OK) != 0)
    return errno == EACCES || errno == EPERM ? PortProblem::PermissionDenied : PortProblem::NoSuchDevice;
  if (!is_terminal_device(device_path)) return PortProblem::NotASerialLine;
  // A terminal that we may open. Busy only when the system said so: the
  // exclusive mode of another user, or the lock of another program.
  if (open_result != kDeviceNotOpened) return PortProblem::SetupFailed;
  switch (error_number) {
    case EBUSY: return PortProblem::Busy;
    case EACCES:
    case EPERM: return PortProblem::PermissionDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO: return PortProblem::NoSuchDevice;
    default: return PortProblem::OpenFailed;
  }
}

const char* port_problem_key(PortProblem problem) {
  switch (problem) {
    case PortProblem::None: return "";
    case PortProblem::NoSuchDevice: return "m_port_nodev";
    case PortProblem::PermissionDenied: return "m_port_denied";
    case PortProblem::Busy: return "m_port_busy";
    case PortProblem::NotASerialLine: return "m_port_notty";
    case PortProblem::OpenFailed: return "m_port_openerr";
    case PortProblem::SetupFailed: return "m_port_setup";
  }
  return "";
}

const char* port_problem_english(PortProblem problem) {
  switch (problem) {
    case PortProblem::None: return "";
    case PortProblem::NoSuchDevice: return "no such device";
    case PortProblem::PermissionDenied:
      return "permission denied: add your user to the dialout group, then log in again";
    case PortProblem::Busy: return "busy: another program holds it";
    case PortProblem::NotASerialLine: return "not a serial line";
    case PortProblem::OpenFailed: return "it could not be opened";
    case PortProblem::SetupFailed: return "its line settings could not be applied";
  }
  return "";
}

std::string port_problem_detail(PortProblem problem, int error_number) {
  if (error_number == 0) return "";
  if (problem != PortProblem::OpenFailed && problem != PortProblem::SetupFailed) return "";
  return std::strerror(error_number);
}

std::string port_open_failure_text(const std::string& device_path, OpenResult open_result, int error_number) {
  const PortProblem problem = diagnose_port(device_path, open_result, error_number);
  const std::string holders = problem == PortProblem::Busy ? port_holders(device_path) : "";
  if (!holders.empty()) return "busy: held by " + holders;
  if (problem == PortProblem::NotASerialLine || problem == PortProblem::PermissionDenied ||
      problem == PortProblem::Busy || error_number == 0)
    return port_problem_english(problem);
  return std::strerror(error_number);
}

namespace {

std::string process_name(const std::filesystem::path& process) {
  std::ifstream comm(process / "comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "a process" : name;
}

// A pseudo-terminal's number ("7" of /dev/pts/7); empty for any other device.
std::string pty_number(const std::filesystem::path& device) {
  const std::string number = device.filename().string();
  const bool digits = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
  return digits && device.parent_path().filename() == "pts" ? number : "";
}

// Whether the descriptor is the master side of pseudo-terminal `number`: the
// kernel names its terminal in the descriptor's "tty-index".
bool is_pty_master(const std::filesystem::path& process, const std::string& fd, const std::string& number) {
  std::ifstream info(process / "fdinfo" / fd);
  for (std::string line; std::getline(info, line);)
    if (line.rfind("tty-index:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 10)) == number;
  return false;
}

bool holds(const std::filesystem::path& process, const std::filesystem::path& device) {
  const std::string pty = pty_number(device);
  bool holds_line = false;
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator(process / "fd", error)) {
    std::error_code link_error;
    const std::filesystem::path target = std::filesystem::read_symlink(fd.path(), link_error);
    // The far end of a pseudo-terminal (a box simulator, a terminal window)
    // keeps its line open too, but takes nothing from us.
    if (!pty.empty() && target.filename() == "ptmx" && is_pty_master(process, fd.path().filename(), pty))
      return false;
    holds_line = holds_line || target == device;
  }
  return holds_line;
}

}  // namespace

std::string port_holders(const std::string& device_path, const std::string& proc_root) {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(device_path, error);
  if (error) return "";
  const std::string self = std::to_string(getpid());
  std::string holders;
  for (const auto& entry : std::filesystem::directory_iterator(proc_root, error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    if (!holds(entry.path(), device)) continue;
    holders += (holders.empty() ? "" : ", ") + process_name(entry.path()) + " (pid " + pid + ")";
  }
  return holders;
}

}  // namespace tv
