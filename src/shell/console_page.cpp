#include "shell/console_page.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "base/clock.h"
#include "base/trace.h"
#include "dbkit/FXMessageSeam.h"
#include "link/console_packets.h"
#include "link/control_frame.h"
#include "link/packets.h"
#include "link/ports.h"
#include "link/register_exchange.h"
#include "link/register_script.h"
#include "shell/box_lines.h"
#include "shell/choices.h"
#include "shell/file_dialog_seam.h"
#include "shell/page_host.h"
#include "shell/settings.h"
#include "shell/ui_queue.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

// The Cancel button of the control line has no ID in the window's table; this
// small target carries its press to the page.
class ControlCancelTarget : public FXObject {
  FXDECLARE(ControlCancelTarget)

 public:
  enum { ID_CANCEL = 1 };
  explicit ControlCancelTarget(ConsolePage* page) : page_(page) {}
  long onCancel(FXObject*, FXSelector, void*) {
    if (page_) page_->cancelControlExchange();
    return 1;
  }
  // Cancel is usable only while an exchange runs.
  long onUpdCancel(FXObject* sender, FXSelector, void*) {
    set_enabled(sender, page_ && page_->controlExchangeRunning());
    return 1;
  }

 private:
  ControlCancelTarget() {}
  ConsolePage* page_ = nullptr;
};

FXDEFMAP(ControlCancelTarget)
ControlCancelTargetMap[] = {
    FXMAPFUNC(SEL_COMMAND, ControlCancelTarget::ID_CANCEL, ControlCancelTarget::onCancel),
    FXMAPFUNC(SEL_UPDATE, ControlCancelTarget::ID_CANCEL, ControlCancelTarget::onUpdCancel),
};
FXIMPLEMENT(ControlCancelTarget, FXObject, ControlCancelTargetMap, ARRAYNUMBER(ControlCancelTargetMap))

// A combo box that shows the start of a text it is given. FOX puts the
// cursor at the end of a new text, so a narrow box showed the tail of
// "FE Граф.процессор QRMZP5L" and hid the address in front, the only part
// that is sent. Text the user types is left where the user puts it.
class LeadingComboBox : public FXComboBox {
  FXDECLARE(LeadingComboBox)

 public:
  LeadingComboBox(FXComposite* parent, FXint columns, FXObject* target, FXSelector sel, FXuint opts)
      : FXComboBox(parent, columns, target, sel, opts) {}
  long onSetStringValue(FXObject* sender, FXSelector sel, void* ptr) {
    const FXString before = getText();
    const long handled = FXComboBox::onFwdToText(sender, sel, ptr);
    if (getText() != before) showStart();
    return handled;
  }
  long onListClicked(FXObject* sender, FXSelector sel, void* ptr) {
    const long handled = FXComboBox::onListClicked(sender, sel, ptr);
    showStart();
    return handled;
  }

 private:
  LeadingComboBox() {}
  void showStart() {
    field->setCursorPos(0);
    field->makePositionVisible(0);
  }
};

FXDEFMAP(LeadingComboBox)
LeadingComboBoxMap[] = {
    FXMAPFUNC(SEL_COMMAND, FXWindow::ID_SETSTRINGVALUE, LeadingComboBox::onSetStringValue),
    FXMAPFUNC(SEL_CLICKED, FXComboBox::ID_LIST, LeadingComboBox::onListClicked),
    FXMAPFUNC(SEL_COMMAND, FXComboBox::ID_LIST, LeadingComboBox::onListClicked),
};
FXIMPLEMENT(LeadingComboBox, FXComboBox, LeadingComboBoxMap, ARRAYNUMBER(LeadingComboBoxMap))

namespace {

constexpr size_t kEchoBufferSize = 1000;
constexpr int kOutputStartColumns = 22;  // "ff 255 <я> 11111111" and a little
constexpr int kOutputStartRows = 8;
// The fields' narrowest width, in characters; they grow with the window. At
// twenty the fields alone would fill a window of the default size.
constexpr int kComboColumns = 8;
constexpr size_t kControlReplySize = 256;  // 2.5 s of listening holds at most 250
constexpr int kWriteStrTracedBytes = 14;
const char* const kBurnRunningText =
    "A burn is running and owns the programming port.\n"
    "The register console can talk to the box again when the burn has ended.";
const char* const kRecordText =
    "Record\tRecord the console in a file\tRecords every packet sent and every byte received, with the "
    "time, in a file of the log folder";
const char* const kSaveOutputText = "Save...\tSave output...\tSaves the output in a file";
const char* const kRecordFailedText = "The console record could not be written:";
const char* const kSaveFailedText = "The output could not be saved:";
const char* const kSaveOutputTitle = "Save console output";
const char* const kBurnRunningControlText =
    "A burn is running and drives the progress bar.\n"
    "The control line can be used again when the burn has ended.";

void trace_echo_failure(int result, const Packet packet, const uint8_t* reply) {
  trace("### err osd_wrt %d <%s><%s>\n", result, packet_text(packet, kPacketSize).c_str(),
        packet_text(reply, kPacketSize).c_str());
  for (size_t i = 0; i < kPacketSize; ++i)
    trace("%02d(%3d) (%3d) --\n", static_cast<int>(i), packet[i], reply[i]);
  trace("\n");
}

void send_packet(SerialPort& port, const uint8_t* packet) {
  port.write(packet, kPacketSize);
  port.drain();
}

const char* const kIntLabels[5] = {"Wi", "Wo", "Ni", "No", "wosz"};
const char* const kByteListTip = "Передаваемые Данные  много байт";

template <size_t N>
void fill_items(FXComboBox* combo, const char* const (&items)[N]) {
  for (const char* item : items) combo->appendItem(item);
}

}  // namespace

unsigned data_byte(const FXString& text) { return hex_value(text.text()) & 0xFF; }

ConsolePage::ConsolePage(FXComposite* pane, FXObject* window, WindowIcons& icons)
    : slaveAdrText("FE Граф.процессор QRMZP5L"),
      adrText("07"),
      slaveAdrTarget_(slaveAdrText),
      cmdTarget_(cmdText),
      adrTarget_(adrText),
      dataTarget_(dataText, window, ID_SHOW_BITS),
      dataStrTarget_(dataStrText),
      dataStr2Target_(dataStr2Text),
      window_(window),
      lines_(page_host(window).lines()),
      controlSink_([window](int percent) { page_host(window).showProgress(percent); }),
      replyIcon_(icons.exchange),
      worker_(lines_.control),
      cancelTarget_(new ControlCancelTarget(this)) {
  FXint* ints[5] = {&wi, &wo, &ni, &no, &wosz};
  for (int i = 0; i < 5; ++i) intTargets_[i].connect(*ints[i]);

  // The fields and, beside them, the buttons that use them on the left, so
  // that both are in view at the window's first size; the control line below
  // them, scrolled when the window is small; the output on the right, as wide
  // as the splitter between them leaves it.
  auto* splitter = new FXSplitter(
      pane, SPLITTER_HORIZONTAL | SPLITTER_REVERSED | SPLITTER_TRACKING | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  commandScroll = new FXScrollWindow(splitter, HSCROLLING_OFF | LAYOUT_FILL_Y);
  auto* commands = new FXVerticalFrame(commandScroll, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  auto* fieldsAndButtons = new FXHorizontalFrame(commands, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  buildCommandColumn(fieldsAndButtons, window, icons);
  buildButtonColumn(fieldsAndButtons, commands, window, icons);
  buildControlGroup(commands, window);
  buildOutputColumn(splitter, icons);
}

ConsolePage::~ConsolePage() {
  stopWorkers();
  cancelButton->setTarget(nullptr);
}

FXComboBox* ConsolePage::addCombo(FXComposite* grid, const char* label, const char* tip, int visibleRows,
                                  FXDataTarget& target) {
  new FXLabel(grid, label, nullptr, JUSTIFY_LEFT | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  auto* combo =
      new LeadingComboBox(grid, kComboColumns, &target, FXDataTarget::ID_VALUE,
                          COMBOBOX_NORMAL | FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_COLUMN);
  combo->setNumVisible(visibleRows);
  combo->setTipText(tip);
  combo->setHelpText(tip);
  return combo;
}

void ConsolePage::buildCommandColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X, 0, 0, 0, 0, DEFAULT_SPACING,
                                     DEFAULT_SPACING, 2, 2, 0, 1);
  make_heading(column, "Комманда", icons.console);
  auto* grid =
      new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, DEFAULT_SPACING, 1);
  slaveAdrCombo = addCombo(grid, "SlaveAdr\tSlaveAdr IIC устройства\tSlaveAdr IIC устройства",
                           "SlaveAdr IIC устройства", 8, slaveAdrTarget_);
  cmdCombo =
      addCombo(grid, "Cmd\tКомманда - для OSD\tКомманда - для OSD!", "Комманда - для OSD!", 5, cmdTarget_);
  adrCombo = addCombo(grid, "Adress\tАдрес или Регист\tАдрес или Регист устройства",
                      "Адрес или Регист устройства", 5, adrTarget_);
  dataCombo = addCombo(grid, "Data\tДанные\tПередаваемые Данные", "Передаваемые Данные", 5, dataTarget_);
  fill_items(slaveAdrCombo, kPortChoices);
  for (FXComboBox* combo : {cmdCombo, adrCombo, dataCombo}) fill_items(combo, kLanguageChoices);

  // The bit row under the Data field, across the column: inside the grid it
  // would make the fields as wide as eight boxes, and push the buttons beside
  // them out of a window of the first size.
  buildBitRow(column, window);
  grid =
      new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, DEFAULT_SPACING, 1);
  dataStrCombo = addCombo(grid, "Data STR\tДанные Строка с разделителями\tПередаваемые Данные много байт",
                          kByteListTip, 5, dataStrTarget_);
  dataStr2Combo = addCombo(grid, "Data STR2\tДанные Строка с разделителями\tПередаваемые Данные много байт",
                           kByteListTip, 5, dataStr2Target_);
  buildIntFields(column);
}

void ConsolePage::buildBitRow(FXComposite* column, FXObject* window) {
  auto* bits =
      new FXMatrix(column, kBitCount, MATRIX_BY_COLUMNS | LAYOUT_RIGHT, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0);
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
  auto* grid = new FXMatrix(column, 4, MATRIX_BY_COLUMNS, 0, 0, 0, 0, 0, 0, 0, 0, DEFAULT_SPACING, 1);
  for (int i = 0; i < 5; ++i) {
    new FXLabel(grid, kIntLabels[i], nullptr, LAYOUT_CENTER_Y);
    intFields[i] = new FXTextField(grid, 4, &intTargets_[i], FXDataTarget::ID_VALUE,
                                   TEXTFIELD_NORMAL | TEXTFIELD_INTEGER);
  }
}

// The buttons beside the fields, in their order; the title, as wide as a
// small window's whole left side, in a row under both.
void ConsolePage::buildButtonColumn(FXComposite* page, FXComposite* below, FXObject* window,
                                    WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y);
  make_heading(column, "Исполнение", icons.console);
  auto* rows = new FXMatrix(column, 1, MATRIX_BY_COLUMNS, 0, 0, 0, 0, 0, 0, 0, 0, DEFAULT_SPACING, 1);
  const FXuint style = BUTTON_NORMAL | ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FILL_X;
  writeButton =
      new FXButton(rows, "Write\tЗапись (ctrl-W)\tЗапись", icons.pencil, window, ID_CONSOLE_WRITE, style);
  readButton = new FXButton(rows, "Read\t\tЧтение", icons.device, window, ID_CONSOLE_READ, style);
  writeStrButton = new FXButton(rows, "WriteSTR\tЗапись\tЗаписьДлинная", icons.pencil, window,
                                ID_CONSOLE_WRITE_STR, style);
  wiWoNiNoButton = new FXButton(rows, "WiWoNiNo", icons.pencil, window, ID_WI_WO_NI_NO, style);
  clearButton = new FXButton(rows, "Очистка", icons.device, window, ID_CONSOLE_CLEAR, style);
  // What becomes of the output: a copy in a file, a record of the session.
  saveOutputButton = new FXButton(rows, ui_text_or("hv_save_output", kSaveOutputText), icons.device, window,
                                  ID_CONSOLE_SAVE_OUTPUT, style);
  recordCheck = new FXCheckButton(rows, ui_text_or("hv_record", kRecordText), window, ID_CONSOLE_RECORD,
                                  CHECKBUTTON_NORMAL | LAYOUT_FILL_X);
  new FXLabel(below, ui_text("m_Title"), icons.title, ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FILL_X);
}

// The slow control line of the box has no field of its own; its commands sit
// here so that an engineer can reach them.
void ConsolePage::buildControlGroup(FXComposite* column, FXObject* window) {
  auto* group = new FXGroupBox(column, ui_text_or("hv_ctl_line", "Control line"),
                               GROUPBOX_TITLE_LEFT | FRAME_GROOVE | LAYOUT_FILL_X);
  auto* buttons = new FXMatrix(group, 1, MATRIX_BY_COLUMNS, 0, 0, 0, 0, 0, 0, 0, 0, DEFAULT_SPACING, 1);
  const FXuint style = BUTTON_NORMAL | LAYOUT_FILL_X;
  controlQueryButton = new FXButton(buttons, ui_text_or("hv_ctl_query", "Control query"), nullptr, window,
                                    ID_CONTROL_QUERY, style);
  lineTestButton =
      new FXButton(buttons, ui_text_or("hv_ctl_test", "Line test"), nullptr, window, ID_LINE_TEST, style);
  raiseRtsButton =
      new FXButton(buttons, ui_text_or("hv_ctl_rts", "Raise RTS"), nullptr, window, ID_RAISE_RTS, style);
  cancelButton = new FXButton(buttons, ui_text_or("hv_ctl_cancel", "Cancel"), nullptr, cancelTarget_.get(),
                              ControlCancelTarget::ID_CANCEL, style);
  cancelButton->disable();
  auto* frame = new FXHorizontalFrame(group, FRAME_SUNKEN | LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0);
  replyList = new FXList(frame, nullptr, 0, LIST_BROWSESELECT | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  replyList->setNumVisible(2);
}

void ConsolePage::buildOutputColumn(FXComposite* page, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, "Вывод", icons.device);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  auto* frame =
      new FXHorizontalFrame(column, FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 0, 0, 0, 0);
  output = new FXText(frame, nullptr, 0, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  outputFont_.reset(new FXFont(column->getApp(), "Courier", 10));
  output->setFont(outputFont_.get());
  // Its starting width: a console line and a little, so that a small window
  // still shows whole lines; the splitter gives it more on request.
  output->setVisibleColumns(kOutputStartColumns);
  output->setVisibleRows(kOutputStartRows);
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
  outputLines_ = 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Register commands (GUI thread; each blocks it for its short exchange)

bool ConsolePage::refuseWhileBurning() {
  if (lines_.use.consoleMayTalk()) return false;
  show_message(dynamic_cast<FXWindow*>(window_), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_console_burning", kBurnRunningText));
  return true;
}

// The control commands need the control line, and the progress bar to
// themselves: a burn owns the bar while it runs.
bool ConsolePage::refuseControlLine() {
  FXString why;
  if (!lines_.use.mayStartControlExchange()) {  // the caller has seen that none runs
    why = ui_text_or("m_control_burning", kBurnRunningControlText);
  } else if (!lines_.control.is_open()) {
    auto* window = dynamic_cast<PageHost*>(window_);
    why = window && !window->whyControlLineIsClosed().empty()
              ? window->whyControlLineIsClosed()
              : ui_text_or("m_ctrl_open", "The control line did not open");
  } else {
    return false;
  }
  show_message(dynamic_cast<FXWindow*>(window_), MessageKind::Error, MBOX_OK, "Error", why);
  return true;
}

void ConsolePage::appendOutput(const std::string& text, int lines) {
  output->appendText(text.data(), static_cast<FXint>(text.size()));
  outputLines_ += lines;
  if (outputLines_ > kOutputLineLimit) {
    output->removeText(0, output->nextLine(0, outputLines_ - kOutputLineLimit));
    outputLines_ = kOutputLineLimit;
  }
  output->setCursorPos(output->getLength());
  output->makePositionVisible(output->getLength());
}

void ConsolePage::pausePolling() {
  if (auto* window = dynamic_cast<PageHost*>(window_)) window->pausePolling();
}

void ConsolePage::resumePolling() {
  if (auto* window = dynamic_cast<PageHost*>(window_)) window->resumePolling();
}

long ConsolePage::onReadWrite(char letter) {
  if (refuseWhileBurning()) return 1;
  const RegisterRequest request =
      read_register_fields(letter, slaveAdrText.text(), cmdText.text(), adrText.text(), dataText.text());
  if (!lines_.programming.is_open()) return 1;
  appendOutput(register_request_line(request), 1);
  pausePolling();
  Packet packet;
  build_register_packet(request, packet);
  trace_console_packet(request.address, packet);
  sendRecorded(register_script_line(request), packet);
  // An I2C answer comes in through the poll timer; the OSD processor's echo
  // is checked here, so only what follows it reaches the output.
  if (request.osd) {
    uint8_t reply[kEchoBufferSize];
    const int result = lines_.link.wait_echo(reply, sizeof reply, packet, kTargetOsd);
    record_.received(reply, result >= kEchoTimeout ? 0 : kPacketSize, "echo");
    if (result != kEchoOk) {
      trace_echo_failure(result, packet, reply);
      FXString text;
      text.format("onReadWrite %c\n\n Error %d", letter, result);
      show_message(dynamic_cast<FXWindow*>(window_), MessageKind::Error, MBOX_OK, "Error", text);
    }
  }
  resumePolling();
  return 1;
}

long ConsolePage::onWrite() { return onReadWrite(kConsoleWrite); }
long ConsolePage::onRead() { return onReadWrite(kConsoleRead); }

void ConsolePage::writeStrPacket(const FXString& text) {
  trace("______________-----(%s)\n", text.text());
  const WriteStrBuffer buffer = build_write_str_packet(text.text());
  for (int i = 0; i < kWriteStrTracedBytes; ++i) trace("(%d > %x  %c)\n", i, buffer[i], buffer[i]);
  send_packet(lines_.programming, buffer.data());
  uint8_t reply[kEchoBufferSize];
  // The box's word is not checked, only recorded.
  const int result = lines_.link.wait_echo(reply, sizeof reply, buffer.data(), kTargetOsd);
  record_.received(reply, result >= kEchoTimeout ? 0 : kPacketSize, "echo");
}

long ConsolePage::onWriteStr() {
  if (refuseWhileBurning()) return 1;
  if (recording()) {
    std::vector<std::array<uint8_t, kPacketSize>> packets;
    for (const ConsolePacket& packet : write_str_packets(dataStrText.text(), dataStr2Text.text()))
      packets.push_back(packet.bytes);
    record_.sent(write_str_script_line(dataStrText.text(), dataStr2Text.text()), packets);
  }
  writeStrPacket(dataStrText);
  protocol_pause_ms(kWriteStrPauseMs);
  writeStrPacket(dataStr2Text);
  return 1;
}

void ConsolePage::iicWrite(const uint8_t* packet) {
  if (!lines_.programming.is_open()) return;
  pausePolling();
  trace_console_packet(packet[5], packet);
  send_packet(lines_.programming, packet);
  protocol_pause_ms(kIicWritePauseMs);  // the box gets no echo check; give it time
  resumePolling();
}

long ConsolePage::onWiWoNiNo() {
  if (refuseWhileBurning()) return 1;
  const int active = static_cast<int>(static_cast<long long>(no) - wo);
  trace("// wi=%d wo=%d ni=%d no=%d (no-wo)=%d wosz=%d\n", wi, wo, ni, no, active, wosz);
  trace("// wi=%x wo=%x ni=%x no=%x (no-wo)=%x wosz=%x\n", wi, wo, ni, no, active, wosz);
  ScalerValues v;
  std::string error;
  if (!compute_scaler(wi, wo, ni, no, wosz, &v, &error)) {
    show_message(dynamic_cast<FXWindow*>(window_), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or(no == 0 ? "m_scaler_no0" : "m_scaler_wo0", error.c_str()));
    return 1;
  }
  trace("// xc=%f xb=%f xd=%f\n", v.xc, v.xb, v.xd);
  trace("// xc_i=%x xb_i=%x xd_i=%x\n", v.xc_i, v.xb_i, v.xd_i);
  trace("// xc_i=%d xb_i=%d xd_i=%d\n", v.xc_i, v.xb_i, v.xd_i);
  const std::vector<ConsolePacket> packets = scaler_packets(v);
  if (recording() && lines_.programming.is_open()) {
    std::vector<std::array<uint8_t, kPacketSize>> sent;
    for (const ConsolePacket& packet : packets) sent.push_back(packet.bytes);
    record_.sent(scaler_script_line(wi, wo, ni, no, wosz), sent);
  }
  for (const ConsolePacket& packet : packets) iicWrite(packet.bytes.data());
  return 1;
}

ConsolePage::Poll ConsolePage::pollPort() {
  SerialPort& port = lines_.programming;
  if (!port.is_open() || !lines_.use.consoleMayTalk()) return Poll::Nothing;
  uint8_t bytes[kPollBytesPerTick];
  const long got = port.read(bytes, sizeof bytes, 0);
  if (got < 0 && !port.waits_abandoned()) return Poll::LineLost;
  if (got <= 0) return Poll::Nothing;
  std::string lines;
  lines.reserve(static_cast<size_t>(got) * 21);
  for (long i = 0; i < got; ++i) lines += received_byte_line(bytes[i]);
  record_.received(bytes, static_cast<size_t>(got));
  appendOutput(lines, static_cast<int>(got));
  dataText.format("%02X", bytes[got - 1]);
  onShowBits();
  return Poll::Shown;
}

void ConsolePage::sendRecorded(const std::string& script_line, const uint8_t* packet) {
  if (recording()) {
    std::array<uint8_t, kPacketSize> bytes;
    std::copy(packet, packet + kPacketSize, bytes.begin());
    record_.sent(script_line, {bytes});
  }
  send_packet(lines_.programming, packet);
}

void ConsolePage::showError(const FXString& text) {
  show_message(dynamic_cast<FXWindow*>(window_), MessageKind::Error, MBOX_OK, "Error", text);
}

// ---------------------------------------------------------------------------
// The record and the saved output

// A new record in the burn logs' folder, which keeps records as it keeps logs.
bool ConsolePage::startRecord() {
  const std::string dir = default_burn_log_dir();
  LogKeeping keeping;
  if (FXApp* app = FXApp::instance()) keeping = read_log_keeping(app->reg());
  prune_console_records(dir, std::time(nullptr), keeping);
  std::string error;
  if (record_.open(dir, page_host(window_).programmingPortName(), std::time(nullptr), &error)) {
    page_host(window_).showStatus(ui_text_or("hv_record_to", "Recording the console to") + " " +
                                  record_.path().c_str());
    return true;
  }
  showError(ui_text_or("m_record_failed", kRecordFailedText) + "\n" + error.c_str());
  return false;
}

long ConsolePage::onToggleRecord() {
  if (recording())
    record_.close();
  else
    startRecord();
  recordCheck->setCheck(recording());
  return 1;
}

long ConsolePage::onSaveOutput() {
  FileDialogRequest request;
  request.title = ui_text_or("m_save_output_cap", kSaveOutputTitle).text();
  request.patterns = "Text (*.txt)\nAll Files (*)";
  request.file_name = "console-output.txt";
  request.width = 600;
  request.height = 400;
  std::string path;
  if (!ask_save_file(dynamic_cast<FXWindow*>(window_), request, &path)) return 1;
  const FXString text = output->getText();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(text.text(), text.length());
  file.close();
  if (!file) showError(ui_text_or("m_output_failed", kSaveFailedText) + "\n" + path.c_str());
  return 1;
}

// ---------------------------------------------------------------------------
// The control line (a worker thread: a query takes more than a minute)

template <typename Work>
void ConsolePage::startControlWorker(Work work) {
  lines_.use.setControlExchange(true);
  worker_.start([this, work] {
    ControlLink link(lines_.control, controlSink_);
    work(link);
    controlSink_.progress(0);
    ui_queue().post([this] { finishControlExchange(); });
  });
}

void ConsolePage::finishControlExchange() {
  worker_.finished();
  lineTestRunning_ = false;
  lines_.control.abandon_waits(false);
  lines_.use.setControlExchange(false);
}

// Cancel cuts a query's wake-up short (the frame still goes out and the
// answer is still heard); the line test has no such part, so it is ended.
void ConsolePage::cancelControlExchange() {
  worker_.requestCancel();
  if (lineTestRunning_) lines_.control.abandon_waits(true);
}

// Nothing of the exchange is wanted any more; its last reports (the reply,
// the end of the exchange) land while the page still exists.
void ConsolePage::stopWorkers() {
  if (!worker_.running()) return;
  worker_.stop();
  lines_.use.setControlExchange(false);
}

long ConsolePage::onControlQuery() {
  if (controlExchangeRunning() || refuseControlLine()) return 1;
  page_host(window_).showProgress(10);
  replyList->clearItems();
  startControlWorker([this](ControlLink& link) {
    uint8_t reply[kControlReplySize] = {};
    const int count = link.xs_query(reply, sizeof reply, &worker_.cancelFlag());
    if (count <= 0) return;
    const uint8_t first = reply[0];  // only the first byte of the answer is shown
    ui_queue().post([this, first] { replyList->appendItem(FXStringFormat("%X", first), replyIcon_); });
  });
  return 1;
}

long ConsolePage::onLineTest() {
  if (controlExchangeRunning() || refuseControlLine()) return 1;
  lineTestRunning_ = true;
  startControlWorker([](ControlLink& link) { link.xs_line_test(); });
  return 1;
}

long ConsolePage::onRaiseRts() {
  if (controlExchangeRunning()) return 1;  // the worker switches RTS itself
  if (refuseControlLine()) return 1;
  xs_rts_on(lines_.control);
  return 1;
}

}  // namespace tv
