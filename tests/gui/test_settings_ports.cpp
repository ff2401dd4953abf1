// The settings page's COM list: com1..com7, then the machine's serial lines
// with their descriptions, read again each time the page is opened; choosing
// a line stores its port name alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/main_window.h"
#include "shell/settings_page.h"
#include "support/fox_app.h"
#include "text/catalogue.h"

using namespace FX;

namespace {

std::vector<std::string> items_of(FXComboBox* combo) {
  std::vector<std::string> items;
  for (FXint i = 0; i < combo->getNumItems(); ++i) items.push_back(combo->getItemText(i).text());
  return items;
}

class SettingsPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::reset_catalogue_for_tests();
    window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
    settingsIndex = window->tabBook->indexOfChild(window->settingsTab) / 2;
    window->settings().portSource = [this] { return machine; };
  }
  void TearDown() override { delete window; }

  // As a click on a tab item does it: the item asks the book to open it.
  void openTab(FXint index) {
    FXWindow* item = window->tabBook->childAtIndex(2 * index);
    window->tabBook->handle(item, FXSEL(SEL_COMMAND, FXTabBar::ID_OPEN_ITEM), nullptr);
  }

  X_SRV_K_Window* window = nullptr;
  FXint settingsIndex = -1;
  std::vector<tv::SerialPortInfo> machine;
};

TEST_F(SettingsPortsTest, OpeningThePageListsTheMachinesLinesAfterTheComNames) {
  tv::SettingsPage& page = window->settings();
  tv::AdapterInfo ftdi;
  ftdi.manufacturer = "FTDI";
  ftdi.product = "FT232R USB UART";
  ftdi.serial = "A5";
  ftdi.driver = "ftdi_sio";
  ftdi.latency_timer_ms = 16;
  machine = {{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0", "FTDI FT232R USB UART (ttyUSB0)",
              "/dev/ttyUSB0", ftdi},
             {"/dev/ttyS0", "16550A UART", "/dev/ttyS0", {}}};
  const std::vector<std::string> com_names = {"com1", "com2", "com3", "com4", "com5", "com6", "com7"};
  EXPECT_EQ(items_of(page.comCombo), com_names);  // nothing read before the page is opened

  openTab(settingsIndex);
  std::vector<std::string> expected = com_names;
  // A line with a stable name is shown by its short kernel name, with what
  // tells the adapter apart: make, model, serial, driver and latency timer.
  expected.push_back("/dev/ttyUSB0  (FTDI FT232R USB UART, serial A5; ftdi_sio, latency timer 16 ms)");
  expected.push_back("/dev/ttyS0  (16550A UART)");
  EXPECT_EQ(items_of(page.comCombo), expected);
  EXPECT_STREQ(page.comCombo->getText().text(), "com3");

  page.comCombo->setCurrentItem(7, TRUE);  // as a choice from the list
  EXPECT_STREQ(window->comPort.text(), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0");
  EXPECT_STREQ(page.comCombo->getText().text(), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0");
  page.comCombo->setCurrentItem(8, TRUE);
  EXPECT_STREQ(window->comPort.text(), "/dev/ttyS0");

  // An adapter plugged in while another tab was shown appears when the page is
  // opened again; the chosen port stays chosen.
  // This one's stable name is all it tells of itself.
  machine.insert(machine.begin() + 1,
                 {"/dev/serial/by-id/usb-1a86_7523-if00-port0", "ttyUSB1", "/dev/ttyUSB1", {}});
  openTab(0);
  EXPECT_EQ(page.comCombo->getNumItems(), 9);
  openTab(settingsIndex);
  ASSERT_EQ(page.comCombo->getNumItems(), 10);
  EXPECT_STREQ(page.comCombo->getItemText(8).text(), "/dev/ttyUSB1");
  EXPECT_STREQ(page.comCombo->getText().text(), "/dev/ttyS0");
  EXPECT_STREQ(window->comPort.text(), "/dev/ttyS0");

  // A name typed by hand is taken as it stands.
  page.comCombo->setText("com12");
  page.comCombo->handle(nullptr, FXSEL(SEL_COMMAND, FXComboBox::ID_TEXT), const_cast<char*>("com12"));
  EXPECT_STREQ(window->comPort.text(), "com12");
}

}  // namespace
