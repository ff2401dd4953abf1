// The register console tab: fields for one register of the box, the bit row
// of its data byte, the buttons that talk to the box and the output of every
// byte the box sends. The box commands fill in the handlers.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>

namespace tv {

struct WindowIcons;

constexpr int kBitCount = 8;

class ConsolePage {
 public:
  ConsolePage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons);
  ~ConsolePage();

  // Values, each bound to its field both ways.
  FX::FXString slaveAdrText;  // "FE Граф.процессор QRMZP5L"
  FX::FXString cmdText;
  FX::FXString adrText;       // "07"
  FX::FXString dataText;      // committing it sends ID 80 to the window
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
  FX::FXButton* writeButton;     // ID 65
  FX::FXButton* readButton;      // ID 70
  FX::FXButton* writeStrButton;  // ID 66
  FX::FXButton* wiWoNiNoButton;  // ID 82
  FX::FXButton* clearButton;     // ID 71
  FX::FXText* output;            // every byte the box sends

  // Control line group.
  FX::FXButton* controlQueryButton;  // ID 64
  FX::FXButton* lineTestButton;      // ID 67
  FX::FXButton* raiseRtsButton;      // ID 68
  FX::FXButton* cancelButton;        // disabled until an exchange runs
  FX::FXList* replyList;             // items of the box's reply

  // Commands.
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
  // One tick of the port poll timer.
  void pollPort();

 private:
  void buildCommandColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildBitRow(FX::FXComposite* grid, FX::FXObject* window);
  void buildIntFields(FX::FXComposite* column);
  void buildButtonColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildControlGroup(FX::FXComposite* column, FX::FXObject* window);
  void buildOutputColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  FX::FXComboBox* addCombo(FX::FXComposite* grid, const char* label, const char* tip,
                           int visibleRows, FX::FXDataTarget& target);

  FX::FXDataTarget slaveAdrTarget_, cmdTarget_, adrTarget_, dataTarget_;
  FX::FXDataTarget dataStrTarget_, dataStr2Target_;
  FX::FXDataTarget intTargets_[5];
  std::unique_ptr<FX::FXFont> outputFont_;
};

// The low eight bits of a text read as by "%x"; 0 when it does not begin
// with a hexadecimal number.
unsigned data_byte(const FX::FXString& text);

}  // namespace tv
