// Listing the machine's serial lines, on a fake /dev and /sys laid out as the
// kernel lays them out for a USB adapter, a USB modem and built-in UARTs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/port_list.h"
#include "support/fake_sysfs.h"
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
    testsupport::FakeAdapter adapter;
    adapter.tty = tty;
    adapter.usb_port = usb_port;
    adapter.vendor_id = vendor;
    adapter.product_id = product_id;
    adapter.manufacturer = maker;
    adapter.product = product;
    adapter.tty_under_interface = tty_under_interface;
    usb_adapter(adapter);
  }
  void usb_adapter(const testsupport::FakeAdapter& adapter) { testsupport::add_fake_adapter(sys_, adapter); }

  void uart(const std::string& tty, const std::string& type) {
    fs::create_directories(sys_ + "/class/tty/" + tty);
    attribute(sys_ + "/class/tty/" + tty + "/type", type);
  }

  // Each port: its name, its description, and what it says of its adapter
  // ("ftdi_sio 16 ms, node /ttyUSB1, by-id usb-FTDI...").
  std::vector<std::vector<std::string>> listed() const {
    std::vector<std::vector<std::string>> result;
    for (const tv::SerialPortInfo& port : tv::list_serial_ports(dev_, sys_)) {
      const tv::AdapterInfo& adapter = port.adapter;
      std::string details = adapter.driver;
      if (adapter.latency_timer_ms >= 0) details += " " + std::to_string(adapter.latency_timer_ms) + " ms";
      details += ", node " + port.device.substr(dev_.size());
      if (!adapter.by_id.empty()) details += ", by-id " + fs::path(adapter.by_id).filename().string();
      result.push_back({port.path.substr(dev_.size()), port.description, details});
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

// Two adapters of one kind are told apart by their serial numbers; the
// details of each come with it: driver, latency timer, kernel node, by-id name.
TEST(PortList, StableNamesFirstThenAdaptersModemsAndUartsWithDescriptions) {
  FakeMachine machine;
  for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2",
                           "ttyUSB3", "ttyACM0", "tty5", "ttyUSB"}) {
    machine.device_node(node);
  }
  testsupport::FakeAdapter ftdi;
  ftdi.tty = "ttyUSB1";
  ftdi.manufacturer = "FTDI";
  ftdi.product = "FT232R USB UART";
  ftdi.serial = "A50285BI";
  ftdi.driver = "ftdi_sio";
  ftdi.latency_timer_ms = 16;
  machine.usb_adapter(ftdi);
  testsupport::FakeAdapter twin = ftdi;
  twin.tty = "ttyUSB3";
  twin.usb_port = "1-5";
  twin.serial = "A50285BJ";
  twin.latency_timer_ms = 1;
  machine.usb_adapter(twin);
  machine.usb_tty("ttyUSB0", "1-2", "1a86", "7523", "", "", true);
  machine.usb_tty("ttyACM0", "1-3", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino\x01 Uno", false);
  machine.usb_tty("ttyUSB7", "1-4", "067b", "2303", "Prolific", "PL2303", true);  // unplugged: no node
  machine.uart("ttyS0", "4");
  machine.uart("ttyS1", "0");  // a node the kernel keeps without a UART
  machine.uart("ttyS10", "1");
  machine.stable_name("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1");
  machine.stable_name("usb-FTDI_again-if00-port0", "ttyUSB1");  // two links, one device
  machine.stable_name("usb-Prolific_PL2303-if00-port0", "ttyUSB7");

  const std::vector<std::vector<std::string>> expected = {
      {"/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
       "FTDI FT232R USB UART, serial A50285BI (ttyUSB1)",
       "ftdi_sio 16 ms, node /ttyUSB1, by-id usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
      {"/ttyUSB0", "USB 1a86:7523", ", node /ttyUSB0"},
      {"/ttyUSB2", "", ", node /ttyUSB2"},
      {"/ttyUSB3", "FTDI FT232R USB UART, serial A50285BJ", "ftdi_sio 1 ms, node /ttyUSB3"},
      {"/ttyUSB10", "", ", node /ttyUSB10"},
      {"/ttyACM0", "Arduino (www.arduino.cc) Arduino Uno", ", node /ttyACM0"},
      {"/ttyS0", "16550A UART", ", node /ttyS0"},
      {"/ttyS10", "8250 UART", ", node /ttyS10"},
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
