// The register console tab: fields for one register of the box, the bit row
// of its data byte, the buttons that talk to the box and the output of every
// byte the box sends. Register commands run on the GUI thread (they are short
// exchanges); the slow control line runs on a worker thread of its own.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>
#include <string>

#include "burn/console_record.h"
#include "shell/gui_control_sink.h"
#include "shell/page_worker.h"

namespace tv {

struct WindowIcons;
struct BoxLines;

constexpr int kBitCount = 8;
// One poll tick takes every byte already waiting, up to this many, so a box
// that talks fast is shown at its own pace while the window stays responsive.
constexpr int kPollBytesPerTick = 512;
// The output keeps the newest lines only: a session of hours must not eat
// the machine's memory.
constexpr int kOutputLineLimit = 5000;

class ConsolePage {
 public:
  ConsolePage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons);
  ~ConsolePage();

  // Values, each bound to its field both ways.
  FX::FXString slaveAdrText;  // "FE Граф.процессор QRMZP5L"
  FX::FXString cmdText;
  FX::FXString adrText;   // "07"
  FX::FXString dataText;  // committing it sends ID 80 to the window
  FX::FXString dataStrText;
  FX::FXString dataStr2Text;
  FX::FXint wi = 0, wo = 0, ni = 0, no = 0, wosz = 0;

  // Fields.
  FX::FXComboBox* slaveAdrCombo;
  FX::FXComboBox* cmdCombo;
  FX::FXComboBox* adrCombo;
  FX::FXComboBox* dataCombo;
  FX::FXComboBox* dataStrCombo;
  FX::FXComboBox* dataStr2Combo;
  FX::FXTextField* intFields[5];  // Wi Wo Ni No wosz

  // Bit row: position 0 (left) is bit 7.
  FX::FXLabel* bitLabels[kBitCount];
  FX::FXCheckButton* bitChecks[kBitCount];  // ID 79, user data = position

  // Buttons and output.
  FX::FXButton* writeButton;          // ID 65
  FX::FXButton* readButton;           // ID 70
  FX::FXButton* writeStrButton;       // ID 66
  FX::FXButton* wiWoNiNoButton;       // ID 82
  FX::FXButton* clearButton;          // ID 71
  FX::FXText* output;                 // every byte the box sends
  FX::FXButton* saveOutputButton;     // ID 95: "Save output...", the output into a file
  FX::FXCheckButton* recordCheck;     // ID 94: record the console in a file of the log folder
  FX::FXScrollWindow* commandScroll;  // fields, buttons and the control line, scrolled

  // Control line group.
  FX::FXButton* controlQueryButton;  // ID 64
  FX::FXButton* lineTestButton;      // ID 67
  FX::FXButton* raiseRtsButton;      // ID 68
  FX::FXButton* cancelButton;        // disabled until an exchange runs
  FX::FXList* replyList;             // items of the box's reply

  // Commands.
  long onReadWrite(char letter);  // 'w' or 'r'
  long onWrite();
  long onRead();
  long onWriteStr();
  long onWiWoNiNo();
  long onClear();
  long onControlQuery();
  long onLineTest();
  long onRaiseRts();
  // Shows the data byte in the bit row (IDs 80 and 81).
  long onShowBits();
  // A bit box changed: the data text follows the whole row (ID 79).
  long onBitToggled(int position);
  // Takes what the box sent (the port watch or a tick of the poll timer):
  // nothing, bytes now shown, or a line that failed and must not be read again.
  enum class Poll { Nothing, Shown, LineLost };
  Poll pollPort();

  // The control line's worker: whether an exchange runs, cutting its wake-up
  // short (the Cancel button), and ending it for good. The window must call
  // stopWorkers() before it drains the UI queue for the last time.
  bool controlExchangeRunning() const { return worker_.running(); }
  void cancelControlExchange();
  void stopWorkers();

  // The record (IDs 94 and 95 of the check box and the menu): on or off,
  // and the file it writes while on.
  long onToggleRecord();
  bool recording() const { return record_.is_open(); }
  const std::string& recordPath() const { return record_.path(); }
  long onSaveOutput();

  // Lines in the output, as the page counts them.
  int outputLineCount() const { return outputLines_; }

 private:
  bool refuseWhileBurning();
  bool refuseControlLine();
  void appendOutput(const std::string& text, int lines);
  void pausePolling();
  void resumePolling();
  void iicWrite(const uint8_t* packet);
  void writeStrPacket(const FX::FXString& text);
  void sendRecorded(const std::string& script_line, const uint8_t* packet);
  bool startRecord();
  void showError(const FX::FXString& text);
  template <typename Work>
  void startControlWorker(Work work);
  void finishControlExchange();

  void buildCommandColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildBitRow(FX::FXComposite* column, FX::FXObject* window);
  void buildIntFields(FX::FXComposite* column);
  void buildButtonColumn(FX::FXComposite* page, FX::FXComposite* below, FX::FXObject* window,
                         WindowIcons& icons);
  void buildControlGroup(FX::FXComposite* column, FX::FXObject* window);
  void buildOutputColumn(FX::FXComposite* page, WindowIcons& icons);
  FX::FXComboBox* addCombo(FX::FXComposite* grid, const char* label, const char* tip, int visibleRows,
                           FX::FXDataTarget& target);

  FX::FXDataTarget slaveAdrTarget_, cmdTarget_, adrTarget_, dataTarget_;
  FX::FXDataTarget dataStrTarget_, dataStr2Target_;
  FX::FXDataTarget intTargets_[5];
  std::unique_ptr<FX::FXFont> outputFont_;

  FX::FXObject* window_;
  BoxLines& lines_;  // the window's lines, the link and who may use them
  GuiControlSink controlSink_;
  FX::FXIcon* replyIcon_;
  int outputLines_ = 0;
  ConsoleRecord record_;
  PageWorker worker_;
  bool lineTestRunning_ = false;  // set and cleared on the GUI thread
  std::unique_ptr<FX::FXObject> cancelTarget_;
};

// The low eight bits of a text read as by "%x"; 0 when it does not begin
// with a hexadecimal number.
unsigned data_byte(const FX::FXString& text);

}  // namespace tv
