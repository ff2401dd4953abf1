#include "shell/settings_page.h"

#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

namespace {

const char* const kPorts[] = {"com1", "com2", "com3", "com4", "com5", "com6", "com7"};
const char* const kLanguages[] = {"ENGLISH en", "RUSSIAN ru", "RUSSIAN_KOI8 r8"};

FXComboBox* value_combo(FXComposite* grid, FXDataTarget& target) {
  auto* combo = new FXComboBox(grid, 15, &target, FXDataTarget::ID_VALUE,
                               COMBOBOX_NORMAL | FRAME_SUNKEN | FRAME_THICK);
  combo->setNumVisible(5);
  return combo;
}

FXSpinner* delay_spinner(FXComposite* grid, FXDataTarget& target, FXint low, FXint high) {
  auto* spinner = new FXSpinner(grid, 3, &target, FXDataTarget::ID_VALUE,
                                SPIN_NORMAL | SPIN_CYCLIC | FRAME_SUNKEN | FRAME_THICK);
  spinner->setRange(low, high);
  return spinner;
}

}  // namespace

SettingsPage::SettingsPage(FXComposite* pane, FXObject* window, WindowIcons& icons,
                           const SettingsValues& values)
    : comTarget_(values.comPort),
      languageTarget_(values.language),
      flashDelayTarget_(values.flashDelay),
      sysfontDelayTarget_(values.sysfontDelay) {
  auto* page = new FXHorizontalFrame(pane, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildValueColumn(page, icons);
  buildCommandColumn(page, window, icons);
  // Show the bound values from the start, not only after the first GUI update.
  comCombo->setText(values.comPort);
  languageCombo->setText(values.language);
  flashDelaySpinner->setValue(values.flashDelay);
  sysfontDelaySpinner->setValue(values.sysfontDelay);
}

void SettingsPage::buildValueColumn(FXComposite* page, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_settings"), icons.settings);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  auto* lists = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  new FXLabel(lists, ui_text("hv_com_port"), nullptr, LAYOUT_CENTER_Y);
  comCombo = value_combo(lists, comTarget_);
  for (const char* port : kPorts) comCombo->appendItem(port);
  new FXLabel(lists, ui_text("hv_lang"), nullptr, LAYOUT_CENTER_Y);
  languageCombo = value_combo(lists, languageTarget_);
  for (const char* language : kLanguages) languageCombo->appendItem(language);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  auto* delays = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  new FXLabel(delays, ui_text("hv_flash_delay"), nullptr, LAYOUT_CENTER_Y);
  flashDelaySpinner = delay_spinner(delays, flashDelayTarget_, 3, 20);
  new FXLabel(delays, ui_text("hv_sysfont_delay"), nullptr, LAYOUT_CENTER_Y);
  sysfontDelaySpinner = delay_spinner(delays, sysfontDelayTarget_, 6, 30);
}

void SettingsPage::buildCommandColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_commands"), icons.exchange);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  saveButton = new FXButton(column, ui_text("hv_save"), icons.floppy, window, ID_SAVE_SETTINGS,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  new FXLabel(column, FXString::null, icons.logoPicture, LAYOUT_BOTTOM | LAYOUT_RIGHT);
}

}  // namespace tv
