#include "shell/console_page.h"

#include <cstdio>

#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

namespace {

const char* const kFirstLists[] = {"com1", "com2", "com3", "com4", "com5", "com6", "com7"};
const char* const kLanguageLists[] = {"ENGLISH en", "RUSSIAN ru", "RUSSIAN_KOI8 r8"};
const char* const kIntLabels[5] = {"Wi", "Wo", "Ni", "No", "wosz"};
const char* const kByteListTip = "Передаваемые Данные  много байт";

template <size_t N>
void fill_items(FXComboBox* combo, const char* const (&items)[N]) {
  for (const char* item : items) combo->appendItem(item);
}

}  // namespace

unsigned data_byte(const FXString& text) {
  unsigned value = 0;
  if (std::sscanf(text.text(), "%x", &value) != 1) return 0;
  return value & 0xFF;
}

ConsolePage::ConsolePage(FXComposite* pane, FXObject* window, WindowIcons& icons)
    : slaveAdrText("FE Граф.процессор QRMZP5L"),
      adrText("07"),
      slaveAdrTarget_(slaveAdrText),
      cmdTarget_(cmdText),
      adrTarget_(adrText),
      dataTarget_(dataText, window, ID_SHOW_BITS),
      dataStrTarget_(dataStrText),
      dataStr2Target_(dataStr2Text) {
  FXint* ints[5] = {&wi, &wo, &ni, &no, &wosz};
  for (int i = 0; i < 5; ++i) intTargets_[i].connect(*ints[i]);

  auto* page = new FXHorizontalFrame(pane, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildCommandColumn(page, window, icons);
  buildButtonColumn(page, window, icons);
  buildOutputColumn(page, window, icons);
}

ConsolePage::~ConsolePage() = default;

FXComboBox* ConsolePage::addCombo(FXComposite* grid, const char* label, const char* tip,
                                  int visibleRows, FXDataTarget& target) {
  new FXLabel(grid, label, nullptr, JUSTIFY_LEFT | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  auto* combo = new FXComboBox(grid, 20, &target, FXDataTarget::ID_VALUE,
                               COMBOBOX_NORMAL | FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X);
  combo->setNumVisible(visibleRows);
  combo->setTipText(tip);
  combo->setHelpText(tip);
  return combo;
}

void ConsolePage::buildCommandColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y, 0, 0, 0, 0,
                                     DEFAULT_SPACING, DEFAULT_SPACING, 2, 2, 0, 1);
  make_heading(column, "Комманда", icons.console);
  auto* grid = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0,
                            0, 0, 0, 0, DEFAULT_SPACING, 1);
  slaveAdrCombo = addCombo(grid, "SlaveAdr\tSlaveAdr IIC устройства\tSlaveAdr IIC устройства",
                           "SlaveAdr IIC устройства", 8, slaveAdrTarget_);
  cmdCombo = addCombo(grid, "Cmd\tКомманда - для OSD\tКомманда - для OSD!",
                      "Комманда - для OSD!", 5, cmdTarget_);
  adrCombo = addCombo(grid, "Adress\tАдрес или Регист\tАдрес или Регист устройства",
                      "Адрес или Регист устройства", 5, adrTarget_);
  dataCombo = addCombo(grid, "Data\tДанные\tПередаваемые Данные", "Передаваемые Данные", 5,
                       dataTarget_);
  fill_items(slaveAdrCombo, kFirstLists);
  for (FXComboBox* combo : {cmdCombo, adrCombo, dataCombo}) fill_items(combo, kLanguageLists);

  buildBitRow(grid, window);
  dataStrCombo = addCombo(grid,
                          "Data STR\tДанные Строка с разделителями\tПередаваемые Данные много байт",
                          kByteListTip, 5, dataStrTarget_);
  dataStr2Combo = addCombo(grid,
                           "Data STR2\tДанные Строка с разделителями\tПередаваемые Данные много байт",
                           kByteListTip, 5, dataStr2Target_);
  buildIntFields(column);
}

void ConsolePage::buildBitRow(FXComposite* grid, FXObject* window) {
  new FXLabel(grid, FXString::null);
  auto* bits = new FXMatrix(grid, kBitCount, MATRIX_BY_COLUMNS, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0);
  for (int i = 0; i < kBitCount; ++i) {
    bitLabels[i] = new FXLabel(bits, "0", nullptr, LAYOUT_CENTER_X | LAYOUT_FILL_COLUMN);
  }
  for (int i = 0; i < kBitCount; ++i) {
    bitChecks[i] = new FXCheckButton(bits, FXString::null, window, ID_BIT_TOGGLED,
                                     CHECKBUTTON_NORMAL | LAYOUT_CENTER_X | LAYOUT_FILL_COLUMN);
    bitChecks[i]->setUserData(reinterpret_cast<void*>(static_cast<FXival>(i)));
  }
}

void ConsolePage::buildIntFields(FXComposite* column) {
  auto* grid = new FXMatrix(column, 4, MATRIX_BY_COLUMNS, 0, 0, 0, 0, 0, 0, 0, 0,
                            DEFAULT_SPACING, 1);
  for (int i = 0; i < 5; ++i) {
    new FXLabel(grid, kIntLabels[i], nullptr, LAYOUT_CENTER_Y);
    intFields[i] = new FXTextField(grid, 4, &intTargets_[i], FXDataTarget::ID_VALUE,
                                   TEXTFIELD_NORMAL | TEXTFIELD_INTEGER);
  }
}

void ConsolePage::buildButtonColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y);
  make_heading(column, "Исполнение", icons.console);
  const FXuint style = BUTTON_NORMAL | ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FILL_X;
  writeButton = new FXButton(column, "Write\tЗапись (ctrl-W)\tЗапись", icons.pencil, window,
                             ID_CONSOLE_WRITE, style);
  readButton = new FXButton(column, "Read\t\tЧтение", icons.device, window, ID_CONSOLE_READ, style);
  writeStrButton = new FXButton(column, "WriteSTR\tЗапись\tЗаписьДлинная", icons.pencil, window,
                                ID_CONSOLE_WRITE_STR, style);
  wiWoNiNoButton = new FXButton(column, "WiWoNiNo", icons.pencil, window, ID_WI_WO_NI_NO, style);
  new FXLabel(column, ui_text("m_Title"), icons.title, ICON_BEFORE_TEXT | LAYOUT_FILL_X);
  clearButton = new FXButton(column, "Очистка", icons.device, window, ID_CONSOLE_CLEAR, style);
}

// The slow control line of the box has no field of its own; its commands sit
// here so that an engineer can reach them.
void ConsolePage::buildControlGroup(FXComposite* column, FXObject* window) {
  auto* group = new FXGroupBox(column, "Control line",
                               GROUPBOX_TITLE_LEFT | FRAME_GROOVE | LAYOUT_FILL_X);
  auto* buttons = new FXHorizontalFrame(group, LAYOUT_FILL_X, 0, 0, 0, 0,
                                        0, 0, 0, 0);
  const FXuint style = BUTTON_NORMAL | LAYOUT_FILL_X;
  controlQueryButton = new FXButton(buttons, "Control query", nullptr, window, ID_CONTROL_QUERY, style);
  lineTestButton = new FXButton(buttons, "Line test", nullptr, window, ID_LINE_TEST, style);
  raiseRtsButton = new FXButton(buttons, "Raise RTS", nullptr, window, ID_RAISE_RTS, style);
  cancelButton = new FXButton(buttons, "Cancel", nullptr, nullptr, 0, style);
  cancelButton->disable();
  auto* frame = new FXHorizontalFrame(group, FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_FILL_Y,
                                      0, 0, 0, 0, 0, 0, 0, 0);
  replyList = new FXList(frame, nullptr, 0, LIST_BROWSESELECT | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  replyList->setNumVisible(3);
}

void ConsolePage::buildOutputColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, "Вывод", icons.device);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  auto* frame = new FXHorizontalFrame(column, FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_FILL_Y,
                                      0, 0, 0, 0, 0, 0, 0, 0);
  output = new FXText(frame, nullptr, 0, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  outputFont_.reset(new FXFont(column->getApp(), "Courier", 10));
  output->setFont(outputFont_.get());
  buildControlGroup(column, window);
}

long ConsolePage::onShowBits() {
  const unsigned value = data_byte(dataText);
  for (int i = 0; i < kBitCount; ++i) {
    const bool set = (value >> (7 - i)) & 1u;
    bitChecks[i]->setCheck(set);
    bitLabels[i]->setText(set ? "1" : "0");
  }
  return 1;
}

long ConsolePage::onBitToggled(int position) {
  if (position < 0 || position >= kBitCount) return 1;
  bitLabels[position]->setText(bitChecks[position]->getCheck() == TRUE ? "1" : "0");
  unsigned value = 0;
  for (int i = 0; i < kBitCount; ++i) {
    if (bitChecks[i]->getCheck() == TRUE) value |= 0x80u >> i;
  }
  dataText.format("%02X", value);
  return 1;
}

long ConsolePage::onClear() {
  output->removeText(0, output->getLength());
  return 1;
}

// The register commands and the control line take these over.
long ConsolePage::onWrite() { return 1; }
long ConsolePage::onRead() { return 1; }
long ConsolePage::onWriteStr() { return 1; }
long ConsolePage::onWiWoNiNo() { return 1; }
long ConsolePage::onControlQuery() { return 1; }
long ConsolePage::onLineTest() { return 1; }
long ConsolePage::onRaiseRts() { return 1; }
void ConsolePage::pollPort() {}

}  // namespace tv
