#include "shell/burn_page.h"

#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

namespace {

const char* const kSectionNames[kSectionCount] = {"Header", "PIC", "Flash",
                                                  "OSD", "OSD RusFont", "OSD SysFont"};

constexpr FXColor kWhite = FXRGB(255, 255, 255);
constexpr FXColor kMarked = FXRGB(192, 192, 0);

FXHiliteStyle log_style(FXColor fore, FXuint attributes) {
  FXHiliteStyle style;
  style.normalForeColor = fore;
  style.normalBackColor = kWhite;
  style.selectForeColor = kMarked;
  style.selectBackColor = kWhite;
  style.hiliteForeColor = kMarked;
  style.hiliteBackColor = kWhite;
  style.activeBackColor = kWhite;
  style.style = attributes;
  return style;
}

}  // namespace

void fill_log_styles(FXHiliteStyle (&styles)[kLogStyleCount]) {
  const FXColor green = FXRGB(0, 190, 0), blue = FXRGB(0, 0, 255), red = FXRGB(255, 0, 0);
  styles[0] = log_style(green, 0);
  styles[1] = log_style(blue, 0);
  styles[2] = log_style(red, 0);
  styles[3] = log_style(FXRGB(0, 0, 0), FXText::STYLE_BOLD);
  styles[4] = log_style(green, FXText::STYLE_BOLD);
  styles[5] = log_style(blue, FXText::STYLE_BOLD);
  styles[6] = log_style(red, FXText::STYLE_BOLD);
  styles[7] = log_style(green, FXText::STYLE_UNDERLINE);
  styles[8] = log_style(blue, FXText::STYLE_UNDERLINE);
  styles[9] = log_style(red, FXText::STYLE_UNDERLINE);
}

BurnPage::BurnPage(FXComposite* pane, FXObject* window, WindowIcons& icons)
    : pathTarget_(chipsetPath) {
  fill_log_styles(styles_);
  auto* page = new FXHorizontalFrame(pane, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildTestColumn(page, icons);
  buildLoadColumn(page, window, icons);
}

BurnPage::~BurnPage() = default;

void BurnPage::buildTestColumn(FXComposite* page, WindowIcons& icons) {
  // 100 pixels would clip the second column of section boxes and the logo;
  // the column takes the width its contents need instead.
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y);
  make_heading(column, ui_text("Test"), icons.test);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  new FXLabel(column, FXString::null, icons.logoPicture, LAYOUT_BOTTOM | LAYOUT_CENTER_X);
  auto* grid = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  for (int i = 0; i < kSectionCount; ++i) {
    sectionChecks[i] = new FXCheckButton(grid, kSectionNames[i]);
    sectionChecks[i]->disable();
  }
}

void BurnPage::buildLoadColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_load"), icons.burn);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  auto* fileRow = new FXHorizontalFrame(column, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0);
  new FXLabel(fileRow, ui_text("hv_file"), nullptr, LAYOUT_CENTER_Y);
  fileField = new FXTextField(fileRow, 20, &pathTarget_, FXDataTarget::ID_VALUE,
                              TEXTFIELD_NORMAL | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  openButton = new FXButton(fileRow, ui_text("hv_open"), icons.folder, window, ID_OPEN_CHIPSET,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT);

  burnButton = new FXButton(column, ui_text("hv_rec"), icons.pencil, window, ID_BURN,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  burnButton->disable();

  buildLog(column);

  recallButton = new FXButton(column, ui_text("hv_recall"), icons.pencil, window, ID_RECALL,
                              BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  recallButton->disable();
  recallButton->hide();
}

void BurnPage::buildLog(FXComposite* column) {
  auto* frame = new FXHorizontalFrame(column, FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_FILL_Y,
                                      0, 0, 0, 0, 0, 0, 0, 0);
  log = new FXText(frame, nullptr, 0,
                   TEXT_READONLY | TEXT_SHOWACTIVE | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  logFont_.reset(new FXFont(column->getApp(), "Courier New", 10));
  log->setFont(logFont_.get());
  log->setStyled(TRUE);
  log->setHiliteStyles(styles_);
}

void BurnPage::appendLog(const FXString& text, int style) {
  log->appendStyledText(text, style);
  log->setCursorPos(log->getLength());
  log->makePositionVisible(log->getLength());
}

void BurnPage::clearLog() { log->removeText(0, log->getLength()); }

// The chipset loader, the burn and the font burn take these over.
long BurnPage::onOpen() { return 1; }
long BurnPage::onBurn() { return 1; }
long BurnPage::onRecall() { return 1; }
void BurnPage::checkBurnCompleted() {}

}  // namespace tv
