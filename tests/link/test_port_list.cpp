// Listing the machine's serial lines, on a fake /dev and /sys laid out as the
// kernel lays them out for a USB adapter, a USB modem and built-in UARTs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/port_list.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class FakeMachine {
 public:
  FakeMachine() : dir_("ports"), dev_(dir_.file("dev")), sys_(dir_.file("sys")) {
    fs::create_directories(dev_ + "/serial/by-id");
    fs::create_directories(sys_ + "/class/tty");
  }

  void device_node(const std::string& name) { ASSERT_TRUE(testsupport::write_file(dev_ + "/" + name, "")); }

  void stable_name(const std::string& name, const std::string& target) {
    fs::create_symlink("../../" + target, dev_ + "/serial/by-id/" + name);
  }

  // A USB device with the given sysfs strings; `tty_under_interface` puts the
  // tty one level below the interface, as usb-serial drivers do (ttyUSB), the
  // interface itself being the device of a CDC modem (ttyACM).
  void usb_tty(const std::string& tty, const std::string& usb_port, const std::string& vendor,
               const std::string& product_id, const std::string& maker, const std::string& product,
               bool tty_under_interface) {
    const std::string usb = sys_ + "/devices/pci0000:00/usb1/" + usb_port;
    const std::string interface = usb + "/" + usb_port + ":1.0";
    const std::string device = tty_under_interface ? interface + "/" + tty : interface;
    fs::create_directories(device);
    attribute(usb + "/idVendor", vendor);
    attribute(usb + "/idProduct", product_id);
    if (!maker.empty()) attribute(usb + "/manufacturer", maker);
    if (!product.empty()) attribute(usb + "/product", product);
    attribute(interface + "/bInterfaceNumber", "00");
    fs::create_directories(sys_ + "/class/tty/" + tty);
    fs::create_symlink(fs::relative(device, sys_ + "/class/tty/" + tty),
                       sys_ + "/class/tty/" + tty + "/device");
  }

  void uart(const std::string& tty, const std::string& type) {
    fs::create_directories(sys_ + "/class/tty/" + tty);
    attribute(sys_ + "/class/tty/" + tty + "/type", type);
  }

  std::vector<std::pair<std::string, std::string>> listed() const {
    std::vector<std::pair<std::string, std::string>> result;
    for (const tv::SerialPortInfo& port : tv::list_serial_ports(dev_, sys_)) {
      result.emplace_back(port.path.substr(dev_.size()), port.description);
    }
    return result;
  }

  const std::string& dev() const { return dev_; }
  const std::string& sys() const { return sys_; }

 private:
  static void attribute(const std::string& path, const std::string& text) {
    ASSERT_TRUE(testsupport::write_file(path, text + "\n"));
  }

  testsupport::TempDir dir_;
  std::string dev_, sys_;
};

TEST(PortList, StableNamesFirstThenAdaptersModemsAndUartsWithDescriptions) {
  FakeMachine machine;
  for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2",
                           "ttyACM0", "tty5", "ttyUSB"}) {
    machine.device_node(node);
  }
  machine.usb_tty("ttyUSB1", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", true);
  machine.usb_tty("ttyUSB0", "1-2", "1a86", "7523", "", "", true);
  machine.usb_tty("ttyACM0", "1-3", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino\x01 Uno", false);
  machine.usb_tty("ttyUSB7", "1-4", "067b", "2303", "Prolific", "PL2303", true);  // unplugged: no node
  machine.uart("ttyS0", "4");
  machine.uart("ttyS1", "0");  // a node the kernel keeps without a UART
  machine.uart("ttyS10", "1");
  machine.stable_name("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1");
  machine.stable_name("usb-FTDI_again-if00-port0", "ttyUSB1");  // two links, one device
  machine.stable_name("usb-Prolific_PL2303-if00-port0", "ttyUSB7");

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FTDI FT232R USB UART (ttyUSB1)"},
      {"/ttyUSB0", "USB 1a86:7523"},
      {"/ttyUSB2", ""},
      {"/ttyUSB10", ""},
      {"/ttyACM0", "Arduino (www.arduino.cc) Arduino Uno"},
      {"/ttyS0", "16550A UART"},
      {"/ttyS10", "8250 UART"},
  };
  EXPECT_EQ(machine.listed(), expected);
}

TEST(PortList, MissingOrUnreadableTreesGiveWhatCanBeKnown) {
  testsupport::TempDir dir("ports");
  EXPECT_TRUE(tv::list_serial_ports(dir.file("no-dev"), dir.file("no-sys")).empty());

  // Without sysfs nothing tells a real UART from an empty ttyS node, but USB
  // adapters are still offered, undescribed.
  FakeMachine machine;
  machine.device_node("ttyS0");
  machine.device_node("ttyUSB0");
  const auto ports = tv::list_serial_ports(machine.dev(), dir.file("no-sys"));
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].path, machine.dev() + "/ttyUSB0");
  EXPECT_EQ(ports[0].description, "");
}

}  // namespace
