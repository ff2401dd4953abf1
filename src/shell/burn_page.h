// The burn tab: the chipset file, its section boxes, the burn buttons and the
// coloured burn log. The load and burn commands fill in the handlers.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>

namespace tv {

struct WindowIcons;

// Sections of a chipset file, in the order of their check boxes.
enum BurnSection { kHeader, kPic, kFlash, kOsd, kOsdRusFont, kOsdSysFont, kSectionCount };

// Styles of the burn log (1..10): green, blue, red, each plain, bold and
// underlined, with black bold in between.
enum LogStyle {
  kLogGreen = 1, kLogBlue, kLogRed,
  kLogBlackBold, kLogGreenBold, kLogBlueBold, kLogRedBold,
  kLogGreenUnderlined, kLogBlueUnderlined, kLogRedUnderlined,
};
constexpr int kLogStyleCount = 10;

class BurnPage {
 public:
  BurnPage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons);
  ~BurnPage();

  // The chipset file named in the file field (bound to it both ways).
  FX::FXString chipsetPath;

  // Widgets the load and burn commands work with.
  FX::FXCheckButton* sectionChecks[kSectionCount];  // "Header" .. "OSD SysFont", disabled when built
  FX::FXTextField* fileField;                       // chipset path
  FX::FXButton* openButton;                         // hv_open, ID 73
  FX::FXButton* burnButton;                         // hv_rec, ID 74, disabled when built
  FX::FXButton* recallButton;                       // hv_recall, ID 75, disabled and hidden
  FX::FXText* log;                                  // the styled burn log

  // The log, on the GUI thread: appends and keeps the end in view.
  void appendLog(const FX::FXString& text, int style);
  void clearLog();
  const FX::FXHiliteStyle* logStyles() const { return styles_; }

  // Commands of the burn tab.
  long onOpen();
  long onBurn();
  long onRecall();
  // Called on every poll tick: shows the completion box once a burn ended.
  void checkBurnCompleted();

 private:
  void buildTestColumn(FX::FXComposite* page, WindowIcons& icons);
  void buildLoadColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildLog(FX::FXComposite* column);

  FX::FXDataTarget pathTarget_;
  FX::FXHiliteStyle styles_[kLogStyleCount];
  std::unique_ptr<FX::FXFont> logFont_;
};

// The ten log styles: white background, selection and highlight in
// (192,192,0) on white, white active background.
void fill_log_styles(FX::FXHiliteStyle (&styles)[kLogStyleCount]);

}  // namespace tv
