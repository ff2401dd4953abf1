#include "link/adapter_info.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "link/sysfs_files.h"

namespace tv {
namespace {

// A latency timer is a byte: 1 to 255 ms.
constexpr long kMaxLatencyTimerMs = 255;

bool has_prefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The kernel's name of the line ("ttyUSB0"), whatever link `device` is.
std::string kernel_name(const std::string& device) {
  const std::string target = real_path(device);
  return base_name(target.empty() ? device : target);
}

// The line's own device in sysfs: for a usb-serial driver the port device
// under the USB interface (where ftdi_sio keeps latency_timer), for a CDC
// modem the interface itself. Empty without one.
std::string tty_device_folder(const std::string& kernel, const std::string& sys_root) {
  return real_path(sys_root + "/class/tty/" + kernel + "/device");
}

// Walks up from the tty's device to the USB device that carries it (the
// first folder with an idVendor), without leaving the sysfs root.
std::string usb_device_folder(const std::string& tty_folder, const std::string& sys_root) {
  const std::string root = real_path(sys_root);
  if (root.empty()) return std::string();
  for (std::string folder = tty_folder; !folder.empty() && has_prefix(folder, root + "/");
       folder = parent_of(folder)) {
    if (device_present(folder + "/idVendor")) return folder;
  }
  return std::string();
}

int latency_timer_in(const std::string& tty_folder) {
  if (tty_folder.empty()) return -1;
  const std::string text = read_attribute(tty_folder + "/latency_timer");
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long ms = std::strtol(text.c_str(), nullptr, 10);
  return ms <= kMaxLatencyTimerMs ? int(ms) : -1;
}

std::string stable_name_of(const std::string& device, const std::string& dev_root) {
  const std::string target = real_path(device);
  if (target.empty()) return std::string();
  const std::string by_id = dev_root + "/serial/by-id";
  std::vector<std::string> names = directory_entries(by_id);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (real_path(by_id + "/" + name) == target) return by_id + "/" + name;
  return std::string();
}

}  // namespace

SystemRoots system_roots_from_environment() {
  SystemRoots roots;
  const char* dev = std::getenv("TVBOX_DEV_ROOT");
  const char* sys = std::getenv("TVBOX_SYSFS_ROOT");
  if (dev && *dev) roots.dev = dev;
  if (sys && *sys) roots.sys = sys;
  return roots;
}

AdapterInfo read_adapter_info(const std::string& device, const SystemRoots& roots) {
  AdapterInfo info;
  info.by_id = stable_name_of(device, roots.dev);
  const std::string tty_folder = tty_device_folder(kernel_name(device), roots.sys);
  if (tty_folder.empty()) return info;
  info.driver = base_name(real_path(tty_folder + "/driver"));
  info.latency_timer_ms = latency_timer_in(tty_folder);
  const std::string usb = usb_device_folder(tty_folder, roots.sys);
  if (usb.empty()) return info;
  info.manufacturer = read_attribute(usb + "/manufacturer");
  info.product = read_attribute(usb + "/product");
  info.serial = read_attribute(usb + "/serial");
  info.vendor_id = read_attribute(usb + "/idVendor");
  info.product_id = read_attribute(usb + "/idProduct");
  return info;
}

std::string adapter_description(const AdapterInfo& info) {
  std::string text;
  // Many adapters repeat their maker in the product string.
  if (!info.product.empty())
    text = info.manufacturer.empty() || has_prefix(info.product, info.manufacturer)
               ? info.product
               : info.manufacturer + " " + info.product;
  else if (!info.manufacturer.empty())
    text = info.manufacturer;
  else if (!info.vendor_id.empty())
    text = "USB " + info.vendor_id + ":" + info.product_id;
  if (!text.empty() && !info.serial.empty()) text += ", serial " + info.serial;
  return text;
}

int take_adapter_latency(SerialPort& port, const SystemRoots& roots) {
  const int timer = latency_timer_in(tty_device_folder(kernel_name(port.path()), roots.sys));
  port.set_answer_latency_ms(timer > 0 ? timer : 0);
  return timer;
}

std::string latency_udev_rule(const std::string& driver) {
  return "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" + (driver.empty() ? "ftdi_sio" : driver) +
         "\", ATTR{latency_timer}=\"1\"";
}

std::string latency_warning(const std::string& device, int timer_ms, const std::string& driver) {
  return device + ": the USB adapter holds every answer of the box for its latency timer, " +
         std::to_string(timer_ms) +
         " ms, and did not take low latency: the burn will be slower. A udev rule sets the timer to 1 ms "
         "whenever the adapter is plugged in (README, \"USB serial adapters\"): " +
         latency_udev_rule(driver);
}

}  // namespace tv
