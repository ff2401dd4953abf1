// The settings tab: COM port, language and the two burn delays, bound to the
// window's settings values, and the Save button. Save applies a changed port
// at once; a changed language takes effect at the next start.
//
// The COM list offers com1..com7 (the names stored settings may hold), then
// the serial lines the machine has, each with its description. Those are read
// again whenever the tab is opened, so an adapter plugged in meanwhile shows
// up without a restart.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/port_list.h"

namespace tv {

struct WindowIcons;
class SettingsPageEvents;

// Where the settings tab's widgets keep their values (members of the window).
struct SettingsValues {
  FX::FXString& comPort;
  FX::FXString& language;
  FX::FXint& flashDelay;
  FX::FXint& sysfontDelay;
};

class SettingsPage {
 public:
  SettingsPage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons, const SettingsValues& values);

  ~SettingsPage();

  FX::FXComboBox* comCombo;            // com1..com7 and the machine's lines, editable
  FX::FXComboBox* languageCombo;       // the three language values
  FX::FXSpinner* flashDelaySpinner;    // 3..20, cyclic
  FX::FXSpinner* sysfontDelaySpinner;  // 6..30, cyclic
  FX::FXButton* saveButton;            // hv_save, ID 69

  // Where the machine's serial lines come from (tests put a fake machine here).
  std::function<std::vector<SerialPortInfo>()> portSource = [] {
    return list_serial_ports(system_roots_from_environment());
  };

  // Reads the machine's lines again and puts them after com1..com7; the text
  // in the field (the chosen port) stays as it is.
  void refreshPortList();

  // The port name behind an entry of the list ("/dev/ttyUSB0" for
  // "/dev/ttyUSB0  (FTDI FT232R USB UART)"); other texts as they stand.
  std::string portNameFor(const std::string& shown) const;

 private:
  friend class SettingsPageEvents;
  void buildValueColumn(FX::FXComposite* page, WindowIcons& icons);
  void buildCommandColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);

  void followTabBook(FX::FXComposite* pane);

  FX::FXDataTarget comTarget_, languageTarget_, flashDelayTarget_, sysfontDelayTarget_;
  std::unique_ptr<SettingsPageEvents> events_;    // COM list choices, tab changes
  std::map<std::string, std::string> portNames_;  // list entry -> port name
  FX::FXTabBook* tabBook_ = nullptr;              // the book the page sits in, if any
  FX::FXint tabIndex_ = -1;                       // this page's tab in it
};

}  // namespace tv
