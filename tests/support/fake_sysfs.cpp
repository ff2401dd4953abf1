#include "support/fake_sysfs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

void attribute(const std::string& path, const std::string& text) {
  ASSERT_TRUE(write_file(path, text + "\n")) << path;
}

}  // namespace

void add_fake_adapter(const std::string& sys, const FakeAdapter& adapter) {
  const std::string usb = sys + "/devices/pci0000:00/usb1/" + adapter.usb_port;
  const std::string interface = usb + "/" + adapter.usb_port + ":1.0";
  const std::string device = adapter.tty_under_interface ? interface + "/" + adapter.tty : interface;
  fs::create_directories(device);
  attribute(usb + "/idVendor", adapter.vendor_id);
  attribute(usb + "/idProduct", adapter.product_id);
  if (!adapter.manufacturer.empty()) attribute(usb + "/manufacturer", adapter.manufacturer);
  if (!adapter.product.empty()) attribute(usb + "/product", adapter.product);
  if (!adapter.serial.empty()) attribute(usb + "/serial", adapter.serial);
  attribute(interface + "/bInterfaceNumber", "00");
  if (adapter.latency_timer_ms >= 0)
    attribute(device + "/latency_timer", std::to_string(adapter.latency_timer_ms));
  if (!adapter.driver.empty()) {
    const std::string driver = sys + "/bus/usb-serial/drivers/" + adapter.driver;
    fs::create_directories(driver);
    fs::create_symlink(fs::relative(driver, device), device + "/driver");
  }
  const std::string class_dir = sys + "/class/tty/" + adapter.tty;
  fs::create_directories(class_dir);
  fs::create_symlink(fs::relative(device, class_dir), class_dir + "/device");
}

}  // namespace testsupport
