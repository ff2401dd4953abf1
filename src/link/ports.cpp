#include "link/ports.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/trace.h"

namespace tv {
namespace {

constexpr int kProgrammingBaud = 57600;
constexpr int kControlBaud = 2400;

// "comN" in any case, N decimal; returns N or -1.
int com_number(const std::string& name) {
  if (name.size() < 4) return -1;
  for (int i = 0; i < 3; ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != "com"[i]) return -1;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
    if (number > 100000) return -1;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

}  // namespace

std::string port_device_path(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  int number = com_number(name);
  if (number < 0) return name;
  const char* dir = std::getenv("TVBOX_PORT_DIR");
  if (dir && *dir) return std::string(dir) + "/com" + std::to_string(number);
  if (number == 0) return name;  // there is no COM0 and no ttyS-1
  return "/dev/ttyS" + std::to_string(number - 1);
}

OpenResult open_programming_line(SerialPort& port, const std::string& name, int* error_number) {
  port.close();
  OpenResult result = kDeviceNotOpened;
  if (port.open_device(port_device_path(name)) == 0)
    result = port.apply_line(kProgrammingBaud, Parity::None, 1);
  int reason = result == kOpened ? 0 : errno;
  if (result != kOpened) {
    port.close();
  } else {
    // The box reads DTR and RTS low as "programming line idle".
    port.set_dtr(false);
    port.set_rts(false);
  }
  if (error_number) *error_number = reason;
  return result;
}

OpenResult open_com(SerialPort& port, const std::string& name, int* error_number) {
  const OpenResult result = open_programming_line(port, name, error_number);
  if (result == kOpened) trace("open_com 0 hCom %d\n", port.fd());
  return result;
}

OpenResult open_control_line(SerialPort& port, const std::string& name, int* error_number) {
  OpenResult result = kDeviceNotOpened;
  // A regular file or any other non-terminal would take the preamble as
  // data: refused like the programming port refuses one.
  if (port.open_device(port_device_path(name)) == 0) result = port.apply_line(kControlBaud, Parity::Even, 2);
  int reason = result == kOpened ? 0 : errno;
  if (result != kOpened)
    port.close();
  else
    port.set_rts(true);
  if (error_number) *error_number = reason;
  return result;
}

OpenResult xs_open(SerialPort& port, int n, int* error_number) {
  char name[32];
  std::snprintf(name, sizeof name, "COM%d", n);
  trace("xs_open <%s> com %d\n", name, n);
  const OpenResult result = open_control_line(port, name, error_number);
  trace("xs_open <%s> com %d h %d\n", name, n, port.fd());
  if (result == kLineStateUnread || result == kLineStateRefused)
    trace("xs_open <%s> line settings refused\n", name);
  return result;
}

void xs_rts_off(SerialPort& port) {
  port.set_rts(false);
  port.pause(500);
}

void xs_rts_on(SerialPort& port) {
  // Lets the last bytes leave the line before the box may talk.
  port.pause(600);
  port.set_rts(true);
  port.pause(1);
}

}  // namespace tv
