#include "shell/box_row.h"

#include <cmath>

#include "shell/burn_page.h"
#include "shell/line_keeper.h"
#include "shell/window_parts.h"
#include "station/station.h"

using namespace FX;

namespace tv {

// clang-format off
FXDEFMAP(BoxRow) BoxRowMap[] = {
  FXMAPFUNC(SEL_COMMAND, BoxRow::ID_STOP,   BoxRow::onStop),
  FXMAPFUNC(SEL_COMMAND, BoxRow::ID_RESUME, BoxRow::onResume),
  FXMAPFUNC(SEL_COMMAND, BoxRow::ID_LOG,    BoxRow::onOpenLog),
  FXMAPFUNC(SEL_COMMAND, BoxRow::ID_BACKUP, BoxRow::onBackup),
  FXMAPFUNC(SEL_COMMAND, BoxRow::ID_REMOVE, BoxRow::onRemove),
  FXMAPFUNCS(SEL_UPDATE, BoxRow::ID_STOP, BoxRow::ID_REMOVE, BoxRow::onUpdate),
};
// clang-format on
FXIMPLEMENT(BoxRow, FXObject, BoxRowMap, ARRAYNUMBER(BoxRowMap))

namespace {

// The stage column is wide enough for "OSD SysFont 100%" and "FAILED"; the
// port's own column for "com3" or "ttyUSB0" (a long path is in its tip).
constexpr FXint kPortWidth = 90;
constexpr FXint kStageWidth = 100;
constexpr FXint kLeftWidth = 64;

FXButton* row_button(FXComposite* parent, const FXString& text, FXObject* target, FXSelector id) {
  return new FXButton(parent, text, nullptr, target, id, BUTTON_NORMAL | LAYOUT_CENTER_Y | LAYOUT_FILL_X, 0,
                      0, 0, 0, 4, 4, 1, 1);
}

}  // namespace

FXString row_stage_text(const PortStatus& status) {
  switch (status.state) {
    case BoxState::Waiting: return FXString::null;
    case BoxState::Ok: return ui_text_or("m_row_ok", "OK");
    case BoxState::Cancelled: return ui_text_or("m_row_stopped", "stopped");
    case BoxState::Failed: return ui_text_or("m_row_failed", "FAILED");
    case BoxState::Running: break;
  }
  if (status.stage.empty()) return ui_text_or("m_row_starting", "starting");
  if (status.stage == "waiting") return ui_text_or("m_row_waiting", "waiting");
  return FXStringFormat("%s %d%%", status.stage.c_str(), status.percent);
}

BoxRow::BoxRow(FXComposite* rows, BurnPage& page, Box& box, LineKeeper& keeper, bool owns_keeper,
               WindowIcons& icons)
    : page_(&page), box_(&box), keeper_(&keeper), ownsKeeper_(owns_keeper), icons_(&icons) {
  frame = new FXHorizontalFrame(rows, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0);
  lamp = new FXButton(frame, box.port().c_str(), icons.lampBlack, &keeper, LineKeeper::ID_LAMP,
                      BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_CENTER_Y | LAYOUT_FIX_WIDTH, 0, 0, kPortWidth,
                      0, 2, 2, 1, 1);
  lamp->setJustify(JUSTIFY_LEFT);
  lamp->setTipText(box.port().c_str());
  stage = new FXLabel(frame, FXString::null, nullptr, LAYOUT_CENTER_Y | LAYOUT_FIX_WIDTH | JUSTIFY_LEFT, 0, 0,
                      kStageWidth, 0);
  bar = new FXProgressBar(
      frame, nullptr, 0,
      PROGRESSBAR_HORIZONTAL | PROGRESSBAR_PERCENTAGE | FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  bar->setTotal(100);
  left = new FXLabel(frame, FXString::null, nullptr, LAYOUT_CENTER_Y | LAYOUT_FIX_WIDTH | JUSTIFY_RIGHT, 0, 0,
                     kLeftWidth, 0);
  // Stop and Resume share one place of one size: a second click where Stop
  // was hits Resume, never a neighbour that slid into a gap.
  auto* switcher = new FXSwitcher(frame, LAYOUT_CENTER_Y, 0, 0, 0, 0, 0, 0, 0, 0);
  resumeButton =
      row_button(switcher, ui_text_or("m_row_resume", "Resume\tContinue this box's burn where it stopped"),
                 this, ID_RESUME);
  stopButton = row_button(switcher, ui_text_or("m_row_stop", "Stop\tStop this box's job"), this, ID_STOP);
  switcher->setCurrent(0);
  // What a row needs now and then goes into its menu, so that the bar keeps
  // its width.
  pane_ = new FXMenuPane(frame);
  logEntry = new FXMenuCommand(pane_, ui_text_or("m_row_log", "Log\tOpen this box's saved log"), nullptr,
                               this, ID_LOG);
  backupEntry = new FXMenuCommand(pane_, ui_text_or("m_row_backup", "Back up\tRead this box into a file"),
                                  nullptr, this, ID_BACKUP);
  removeEntry = new FXMenuCommand(pane_, ui_text_or("m_row_remove", "Remove\tTake this box off the station"),
                                  nullptr, this, ID_REMOVE);
  if (first()) removeEntry->hide();
  moreButton = new FXMenuButton(
      frame, "...", nullptr, pane_,
      MENUBUTTON_DOWN | MENUBUTTON_ATTACH_RIGHT | FRAME_RAISED | FRAME_THICK | LAYOUT_CENTER_Y, 0, 0, 0, 0, 4,
      4, 1, 1);
}

// The row's widgets go with it (the page is still whole when rows go).
BoxRow::~BoxRow() {
  lamp->setTarget(nullptr);
  delete pane_;  // first: its entries take their keys off the shell of the row
  delete frame;
  if (ownsKeeper_) delete keeper_;
}

const std::string& BoxRow::port() const { return box_->port(); }

void BoxRow::showLamp(bool open) {
  FXIcon* icon = open ? icons_->lampGreen : icons_->lampBlack;
  if (lamp->getApp()->isInitialized()) icon->create();
  lamp->setIcon(icon);
  lamp->setText(port().c_str());
  lamp->setTipText(open ? FXString(port().c_str()) : wrapped(keeper_->problem()));
}

void BoxRow::show(const PortStatus& now) {
  stage->setText(row_stage_text(now));
  bar->setProgress(FXuint(now.job_percent));
  left->setText(now.state == BoxState::Running && now.left_s >= 0
                    ? ui_text_filled("m_row_left", "{} left", minutes_and_seconds(std::ceil(now.left_s)))
                    : FXString::null);
  // The first failure in the row's tip: the log has the rest.
  stage->setTipText(now.state == BoxState::Failed ? wrapped(now.first_failure.c_str()) : FXString::null);
}

void BoxRow::showRunning(bool running) {
  auto* switcher = static_cast<FXSwitcher*>(stopButton->getParent());
  switcher->setCurrent(running ? 1 : 0);
}

long BoxRow::onStop(FXObject*, FXSelector, void*) { return page_->stopBox(*this); }
long BoxRow::onResume(FXObject*, FXSelector, void*) { return page_->resumeBox(*this); }
long BoxRow::onBackup(FXObject*, FXSelector, void*) { return page_->backUpBox(*this); }

long BoxRow::onOpenLog(FXObject*, FXSelector, void*) {
  page_->openLogOf(*this);
  return 1;
}

// The page deletes the row: nothing of it is touched after.
long BoxRow::onRemove(FXObject*, FXSelector, void*) {
  page_->removeBox(*this);
  return 1;
}

long BoxRow::onUpdate(FXObject* sender, FXSelector sel, void*) {
  switch (FXSELID(sel)) {
    case ID_STOP: set_enabled(sender, running && !stopping); break;
    case ID_RESUME: set_enabled(sender, page_->mayResume(*this)); break;
    case ID_LOG: set_enabled(sender, !savedLogPath.empty()); break;
    case ID_BACKUP: set_enabled(sender, page_->mayBackUp(*this)); break;
    case ID_REMOVE: set_enabled(sender, page_->mayRemove(*this)); break;
  }
  return 1;
}

}  // namespace tv
