#include "link/port_list.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

namespace tv {
namespace {

// Strings from sysfs come from the device itself: keep them printable and short.
constexpr size_t kMaxSysfsText = 64;

std::vector<std::string> directory_entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* handle = ::opendir(dir.c_str());
  if (!handle) return names;
  while (const dirent* entry = ::readdir(handle)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(handle);
  return names;
}

// The device behind a name exists (a link whose adapter was pulled does not).
bool device_present(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string real_path(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parent_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The first line of a small sysfs attribute, control bytes dropped, trimmed.
std::string read_attribute(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::string();
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  std::string text;
  for (char c : line) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) text += c;
    if (text.size() == kMaxSysfsText) break;
  }
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "ttyUSB10" -> ("ttyUSB", 10), so that ttyUSB2 comes before ttyUSB10.
std::pair<std::string, long> name_and_number(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
  return {name.substr(0, digits), number};
}

bool has_prefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

class PortLister {
 public:
  PortLister(const std::string& dev_root, const std::string& sys_root)
      : dev_root_(dev_root), sys_root_(real_path(sys_root)) {}

  std::vector<SerialPortInfo> list() {
    add_stable_names();
    add_kernel_names("ttyUSB", false);
    add_kernel_names("ttyACM", false);
    add_kernel_names("ttyS", true);
    return ports_;
  }

 private:
  void add_stable_names() {
    const std::string by_id = dev_root_ + "/serial/by-id";
    std::vector<std::string> names = directory_entries(by_id);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string link = by_id + "/" + name;
      if (!device_present(link)) continue;
      const std::string target = real_path(link);
      if (target.empty() || !listed_.insert(target).second) continue;
      const std::string kernel_name = base_name(target);
      std::string description = usb_description(kernel_name);
      description += description.empty() ? kernel_name : " (" + kernel_name + ")";
      ports_.push_back({link, description});
    }
  }

  void add_kernel_names(const std::string& prefix, bool needs_uart) {
    std::vector<std::string> names;
    for (const std::string& name : directory_entries(dev_root_)) {
      const auto split = name_and_number(name);
      if (split.first == prefix && split.second >= 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return name_and_number(a).second < name_and_number(b).second;
    });
    for (const std::string& name : names) {
      const std::string path = dev_root_ + "/" + name;
      if (!device_present(path)) continue;
      if (listed_.count(real_path(path))) continue;  // already there by its stable name
      std::string description = needs_uart ? uart_description(name) : usb_description(name);
      if (needs_uart && description.empty()) continue;  // no UART: the line never answers
      ports_.push_back({path, description});
    }
  }

  // Walks up from the tty's device in sysfs to the USB device that carries it
  // (the first folder with an idVendor), without leaving the sysfs root.
  std::string usb_device_folder(const std::string& kernel_name) const {
    if (sys_root_.empty()) return std::string();
    std::string folder = real_path(sys_root_ + "/class/tty/" + kernel_name + "/device");
    while (!folder.empty() && has_prefix(folder, sys_root_ + "/")) {
      if (device_present(folder + "/idVendor")) return folder;
      folder = parent_of(folder);
    }
    return std::string();
  }

  std::string usb_description(const std::string& kernel_name) const {
    const std::string folder = usb_device_folder(kernel_name);
    if (folder.empty()) return std::string();
    const std::string maker = read_attribute(folder + "/manufacturer");
    const std::string product = read_attribute(folder + "/product");
    if (!product.empty()) {
      // Many adapters repeat their maker in the product string.
      if (maker.empty() || has_prefix(product, maker)) return product;
      return maker + " " + product;
    }
    const std::string vendor_id = read_attribute(folder + "/idVendor");
    const std::string product_id = read_attribute(folder + "/idProduct");
    return maker.empty() ? "USB " + vendor_id + ":" + product_id : maker;
  }

  // The kernel keeps a ttyS node for every possible line; only those whose
  // UART type is known have hardware behind them.
  std::string uart_description(const std::string& kernel_name) const {
    if (sys_root_.empty()) return std::string();
    const std::string type = read_attribute(sys_root_ + "/class/tty/" + kernel_name + "/type");
    if (type.empty() || type.find_first_not_of("0123456789") != std::string::npos) return std::string();
    const long code = std::strtol(type.c_str(), nullptr, 10);
    switch (code) {
      case 0: return std::string();
      case 1: return "8250 UART";
      case 2: return "16450 UART";
      case 3: return "16550 UART";
      case 4: return "16550A UART";
      case 8: return "16750 UART";
      case 10: return "16C950 UART";
      default: return "UART type " + type;
    }
  }

  std::string dev_root_;
  std::string sys_root_;          // resolved, so walks up can be kept inside it
  std::set<std::string> listed_;  // resolved device paths already in the list
  std::vector<SerialPortInfo> ports_;
};

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(const std::string& dev_root, const std::string& sys_root) {
  return PortLister(dev_root, sys_root).list();
}

}  // namespace tv
