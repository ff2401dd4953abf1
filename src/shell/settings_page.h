// The settings tab: COM port, language and the two burn delays, bound to the
// window's settings values, and the Save button. A change takes effect after
// Save and a restart.
#pragma once

#include <fox-1.6/fx.h>

namespace tv {

struct WindowIcons;

// Where the settings tab's widgets keep their values (members of the window).
struct SettingsValues {
  FX::FXString& comPort;
  FX::FXString& language;
  FX::FXint& flashDelay;
  FX::FXint& sysfontDelay;
};

class SettingsPage {
 public:
  SettingsPage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons,
               const SettingsValues& values);

  FX::FXComboBox* comCombo;           // com1..com7, editable
  FX::FXComboBox* languageCombo;      // the three language values
  FX::FXSpinner* flashDelaySpinner;   // 3..20, cyclic
  FX::FXSpinner* sysfontDelaySpinner; // 6..30, cyclic
  FX::FXButton* saveButton;           // hv_save, ID 69

 private:
  void buildValueColumn(FX::FXComposite* page, WindowIcons& icons);
  void buildCommandColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);

  FX::FXDataTarget comTarget_, languageTarget_, flashDelayTarget_, sysfontDelayTarget_;
};

}  // namespace tv
