#include "shell/burn_page.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_summary.h"
#include "burn/read_back.h"
#include "dbkit/FXMessageSeam.h"
#include "link/adapter_info.h"
#include "link/ports.h"
#include "shell/box_lines.h"
#include "shell/box_row.h"
#include "shell/file_dialog_seam.h"
#include "shell/globals.h"
#include "shell/gui_burn_sink.h"
#include "shell/line_keeper.h"
#include "shell/page_host.h"
#include "shell/port_keeper.h"
#include "shell/settings.h"
#include "shell/ui_queue.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

// Keeps the worker's copy of the section boxes current: each box's command
// stores its new state in an atomic, which the worker reads when it reaches
// that box's stage.
class SectionBoxWatcher : public FXObject {
  FXDECLARE(SectionBoxWatcher)

 public:
  enum { ID_BOX = 1, ID_BOX_LAST = ID_BOX + kSectionCount };

  explicit SectionBoxWatcher(std::array<std::atomic<bool>, kSectionCount>* checked) : checked_(checked) {}
  long onBoxToggled(FXObject*, FXSelector sel, void* ptr) {
    const int section = static_cast<int>(FXSELID(sel)) - ID_BOX;
    (*checked_)[section] = reinterpret_cast<FXuval>(ptr) != 0;
    return 1;
  }

 private:
  SectionBoxWatcher() {}
  std::array<std::atomic<bool>, kSectionCount>* checked_ = nullptr;
};

FXDEFMAP(SectionBoxWatcher)
SectionBoxWatcherMap[] = {
    FXMAPFUNCS(SEL_COMMAND, SectionBoxWatcher::ID_BOX, SectionBoxWatcher::ID_BOX_LAST - 1,
               SectionBoxWatcher::onBoxToggled),
};
FXIMPLEMENT(SectionBoxWatcher, FXObject, SectionBoxWatcherMap, ARRAYNUMBER(SectionBoxWatcherMap))

// Ticks four times a second while a job runs on any box, so the rows and the
// status line follow the boxes' figures even while a box takes long over one
// record; no tick while the station is idle.
class BurnClock : public FXObject {
  FXDECLARE(BurnClock)

 public:
  enum { ID_TICK = 1 };
  static constexpr FXuint kTickMs = 250;

  explicit BurnClock(BurnPage* page) : page_(page) {}
  long onTick(FXObject*, FXSelector, void*) {
    page_->tick();
    return 1;
  }

 private:
  BurnClock() {}
  BurnPage* page_ = nullptr;
};

FXDEFMAP(BurnClock)
BurnClockMap[] = {
    FXMAPFUNC(SEL_TIMEOUT, BurnClock::ID_TICK, BurnClock::onTick),
};
FXIMPLEMENT(BurnClock, FXObject, BurnClockMap, ARRAYNUMBER(BurnClockMap))

namespace {

const char* const kNotSupportedText = "Device is not supported.";
const char* const kDialogPatterns = "Harnvale Chipset (*.hv,*.hv.gz)\nAll (*)";
const char* const kCompletedCaption = "Burning...";
const char* const kCompletedText = "Burning Process Completed.";
const char* const kFaultyFileText =
    "This chipset file cannot be burned.\n\nThe red lines of the burn log name the lines of the file "
    "that would be written to the wrong place, or the damage found in it.";
const char* const kBurnAnywayCaption = "Question";
const char* const kBurnAnywayText =
    "Some records of this file have a wrong checksum (the burn log names the first).\n\nBurn anyway?";
const char* const kFailedText = "Burning Process Failed.";
// The completion box's second line, and the saved log's word for a Verify
// box that was off.
const char* const kVerifiedText =
    "Verified: what was written into the flash and the OSD memory was read back and matches the file.";
const char* const kNotVerifiedText = "Not verified: the Verify box is off.";
const char* const kUnreadableText =
    "Not verified: the PIC program and the fonts cannot be read back from the box.";
const char* const kVerifyOffReason = "the Verify box is off";
// The failure box quotes at most this many of the burn's red lines.
constexpr size_t kFailureLinesShown = 4;
const char* const kControlRunningText =
    "A control-line exchange is running and drives the progress bar.\n"
    "Burn when it has ended, or cancel it first.";
const char* const kPortBusyText =
    "The programming port is in use: a burn, a compare, a backup or a control-line exchange is running.\n"
    "Try again when it has ended, or stop it first.";
const char* const kNothingToCompareText =
    "This chipset file writes nothing into the flash or the OSD memory: there is nothing to compare.";
const char* const kBackupPatterns = "Harnvale Chipset (*.hv)\nCompressed (*.hv.gz)\nAll (*)";
const char* const kReplaceText = "{} already exists.\n\nReplace it?";
const char* const kBackupTargetText = "The backup cannot be written:";

// The two lines about the saved log name a file: without a language file they
// still say what the path is.
const char* const kLogSavedText = "Burn log saved in";
const char* const kLogFailedText = "The burn log could not be saved:";
// A compare or a backup burns nothing: its log is not a burn log.
const char* const kReadLogSavedText = "Log saved in";
const char* const kReadLogFailedText = "The log could not be saved:";

// "3 of 4 boxes burning": the words after the count of the boxes running,
// by the round's job.
struct EndText {
  const char* key;
  const char* english;
};
const EndText kRoundRunning[3] = {
    {"m_st_of_burning", "of {} boxes burning"},
    {"m_st_of_comparing", "of {} boxes comparing"},
    {"m_st_of_reading", "of {} boxes reading"},
};

std::string caption_or(const char* key, const char* fallback) {
  FXString caption = ui_text(key);
  return caption.empty() ? fallback : caption.text();
}

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
  // The burn engine names a style by its LogStyle; the text widget counts its
  // styles from 1, so style n sits at index n - 1.
  auto set = [&styles](LogStyle name, FXColor fore, FXuint attributes) {
    styles[name - 1] = log_style(fore, attributes);
  };
  set(kStyleGreen, green, 0);
  set(kStyleBlue, blue, 0);
  set(kStyleRed, red, 0);
  set(kStyleBold, FXRGB(0, 0, 0), FXText::STYLE_BOLD);
  set(kStyleBoldGreen, green, FXText::STYLE_BOLD);
  set(kStyleBoldBlue, blue, FXText::STYLE_BOLD);
  set(kStyleBoldRed, red, FXText::STYLE_BOLD);
  set(kStyleUnderlinedGreen, green, FXText::STYLE_UNDERLINE);
  set(kStyleUnderlinedBlue, blue, FXText::STYLE_UNDERLINE);
  set(kStyleUnderlinedRed, red, FXText::STYLE_UNDERLINE);
}

BurnPage::BurnPage(FXComposite* pane, FXObject* window, WindowIcons& icons)
    : window_(window),
      lines_(page_host(window).lines()),
      icons_(icons),
      pathTarget_(chipsetPath),
      verifyTarget_(verify),
      boxWatcher_(new SectionBoxWatcher(&boxChecked_)),
      clock_(new BurnClock(this)) {
  fill_log_styles(styles_);
  auto* page = new FXHorizontalFrame(pane, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildTestColumn(page, icons);
  buildLoadColumn(page, window, icons);
  lines_.whyClosed = [this](const std::string& port) { return whyClosed(port); };
}

// The window stops a running worker before it goes; this is the last guard.
// No poll timer is added for a window that is being destroyed.
BurnPage::~BurnPage() {
  shuttingDown_ = true;
  cancelAndJoinBurn();
  log->getApp()->removeTimeout(clock_.get(), BurnClock::ID_TICK);
  lines_.whyClosed = nullptr;
  for (const auto& row : rows_)
    if (!row->first()) lines_.station.remove(&row->box());
}

void BurnPage::buildTestColumn(FXComposite* page, WindowIcons& icons) {
  // 100 pixels would clip the second column of section boxes and the logo;
  // the column takes the width its contents need instead.
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_Y);
  make_heading(column, ui_text("Test"), icons.test);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  new FXLabel(column, FXString::null, icons.logoPicture, LAYOUT_BOTTOM | LAYOUT_CENTER_X);
  auto* grid = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  for (int i = 0; i < kSectionCount; ++i) {
    sectionChecks[i] =
        new FXCheckButton(grid, section_table()[i].box, boxWatcher_.get(), SectionBoxWatcher::ID_BOX + i);
    sectionChecks[i]->disable();
  }
  verifyCheck = new FXCheckButton(column, ui_text("hv_verify"), &verifyTarget_, FXDataTarget::ID_VALUE);
}

void BurnPage::buildLoadColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_load"), icons.burn);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  // The file field has its row to itself, so that a small window still shows
  // the file's name; the buttons go in the row under it.
  auto* fileRow = new FXHorizontalFrame(column, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0);
  new FXLabel(fileRow, ui_text("hv_file"), nullptr, LAYOUT_CENTER_Y);
  fileField = new FXTextField(fileRow, 20, &pathTarget_, FXDataTarget::ID_VALUE,
                              TEXTFIELD_NORMAL | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  auto* buttonRow = new FXHorizontalFrame(column, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0);
  openButton = new FXButton(buttonRow, ui_text("hv_open"), icons.folder, window, ID_OPEN_CHIPSET,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT);

  // Stop takes hv_rec's place at hv_rec's size while a job runs, so that
  // Compare beside it never slides under a second click.
  burnSlot_ = new FXSwitcher(buttonRow, LAYOUT_LEFT | LAYOUT_CENTER_Y, 0, 0, 0, 0, 0, 0, 0, 0);
  burnButton = new FXButton(burnSlot_, ui_text("hv_rec"), icons.pencil, window, ID_BURN,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  burnButton->disable();
  stopButton = new FXButton(burnSlot_, ui_text_or("hv_stop", "&Stop\tStop the burn, compare or backup (Esc)"),
                            nullptr, window, ID_STOP_BURN, BUTTON_NORMAL | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  stopButton->hide();
  compareButton =
      new FXButton(buttonRow, ui_text_or("hv_compare", "&Compare\tCompare the box with the loaded file"),
                   nullptr, window, ID_COMPARE, BUTTON_NORMAL | LAYOUT_LEFT);
  compareButton->disable();
  // Resume has a row of its own under the others: the row above is full at
  // the window's first size in Russian, and Resume shows only after a burn
  // failed or was stopped. The empty row takes no height.
  auto* resumeRow = new FXHorizontalFrame(column, LAYOUT_FILL_X, 0, 0, 0, 0, 0, 0, 0, 0);
  resumeButton =
      new FXButton(resumeRow, ui_text_or("hv_resume", "&Resume\tContinue the burn where it stopped"), nullptr,
                   window, ID_RESUME_BURN, BUTTON_NORMAL | LAYOUT_LEFT);
  resumeButton->hide();

  // The station's rows; with one box the tab is the one-box tab.
  rowsFrame = new FXVerticalFrame(column, LAYOUT_FILL_X | FRAME_SUNKEN, 0, 0, 0, 0, 2, 2, 2, 2, 0, 2);
  PortKeeper& ports = page_host(window).portKeeper();
  rows_.emplace_back(new BoxRow(rowsFrame, *this, lines_.first, ports.programming(), false, icons));
  rowsFrame->hide();

  buildLog(column);

  recallButton = new FXButton(column, ui_text("hv_recall"), icons.pencil, window, ID_RECALL,
                              BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  recallButton->disable();
  recallButton->hide();
}

void BurnPage::buildLog(FXComposite* column) {
  auto* frame =
      new FXHorizontalFrame(column, FRAME_SUNKEN | LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 0, 0, 0, 0);
  log = new FXText(frame, nullptr, 0,
                   TEXT_READONLY | TEXT_SHOWACTIVE | TEXT_WORDWRAP | LAYOUT_FILL_X | LAYOUT_FILL_Y);
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

// A long path shows its end, the file's name; the tool tip holds all of it.
void BurnPage::showPathEnd() {
  fileField->setText(chipsetPath);
  fileField->setTipText(chipsetPath);
  fileField->setCursorPos(chipsetPath.length());
  fileField->makePositionVisible(chipsetPath.length());
}

void BurnPage::clearLog() { log->removeText(0, log->getLength()); }

// ---- loading ----------------------------------------------------------------

long BurnPage::onOpen() {
  if (lines_.first.unsupported()) {
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error", kNotSupportedText);
    return 1;
  }
  if (burnRunning()) return 1;  // its controls are disabled; a stray command changes nothing
  for (const auto& row : rows_) row->resumable = false;  // a new load: nothing of the old burns to resume
  showResumeButton(false);
  resetSectionBoxes();
  clearLog();
  FileDialogRequest request{"Open File", kDialogPatterns, chipsetPath.text(), 500, 300};
  std::string chosen;
  if (ask_open_file(log->getShell(), request, &chosen)) {
    chipsetPath = chosen.c_str();
    showPathEnd();
    loaded_ = load_chipset(chosen);
  } else {
    // Nothing chosen: nothing loaded, so no burn can start from an old load.
    loaded_ = ChipsetParser().finish();
  }
  showLoadResult(loaded_);
  return 1;
}

void BurnPage::resetSectionBoxes() {
  for (FXCheckButton* box : sectionChecks) box->setCheck(FALSE);
  sectionBox(Section::OsdRusFont)->disable();
  sectionBox(Section::OsdSysFont)->disable();
}

void BurnPage::showLoadResult(const LoadedChipset& chipset) {
  for (const LogLine& line : chipset.log) appendLog(line.text.c_str(), line.style);
  sayMissingSections(chipset);
  checkSectionBoxes(chipset.flags);
  recallArmed_ = system_font_present(chipset.flags);
  // Only with switch a may the user leave the Flash and OSD stages out.
  if (extended_mode) {
    sectionBox(Section::Flash)->enable();
    sectionBox(Section::Osd)->enable();
  }
}

// A file without a section the burn needs leaves the burn button grey; this
// says why, naming the sections by their markers ("OSD", "OSD Font").
void BurnPage::sayMissingSections(const LoadedChipset& chipset) {
  if (!chipset.opened || burn_possible(chipset.flags)) return;
  FXString names;
  int missing = 0;
  for (const SectionInfo& info : section_table()) {
    if (info.section == Section::OsdSysFont || (chipset.flags & section_flag(info.section)) != 0) continue;
    FXString marker = info.marker;
    names += FXString(missing++ ? ", " : "") + marker.mid(3, marker.length() - 4);  // "***OSD>" gives "OSD"
  }
  FXString line =
      missing == 1
          ? ui_text_filled("m_no_section", "This file has no {} section: it cannot be burned", names)
          : ui_text_filled("m_no_sections", "This file has no {} sections: it cannot be burned", names);
  appendLog(line + "\n", kStyleBoldRed);
}

void BurnPage::checkSectionBoxes(unsigned flags) {
  // A box is ticked for each section found; only the fonts may be left out
  // without switch a.
  for (const SectionInfo& info : section_table()) {
    if ((flags & section_flag(info.section)) == 0) continue;
    sectionBox(info.section)->setCheck(TRUE);
    if (info.section == Section::OsdRusFont || info.section == Section::OsdSysFont)
      sectionBox(info.section)->enable();
  }
}

// ---- burning ----------------------------------------------------------------

// The boxes a start command starts: every box that is not running. With one
// box the tab works as it always did; with more, a box whose line is closed
// fails in its row, saying why, while the others burn.
std::vector<BoxRow*> BurnPage::idleRows() const {
  std::vector<BoxRow*> idle;
  for (const auto& row : rows_)
    if (!row->running) idle.push_back(row.get());
  return idle;
}

bool BurnPage::burnRunning() const {
  for (const auto& row : rows_)
    if (row->running) return true;
  return false;
}

bool BurnPage::burnWriting() const {
  for (const auto& row : rows_)
    if (row->running && row->job == BurnStatus::Job::Burn) return true;
  return false;
}

// More than one box runs now: the log prefixes each line with its port and
// the status line counts the boxes.
bool BurnPage::manyRunning() const {
  int running = 0;
  for (const auto& row : rows_) running += row->running;
  return running > 1;
}

long BurnPage::onBurn() {
  if (burnRunning() || !burn_possible(loaded_.flags) || refuseFaultyFile() || refuseChangedFile()) return 1;
  if (refuseControlExchange() || (rows_.size() == 1 && refuseWithoutPort()) || !confirmBadChecksums())
    return 1;
  recallArmed_ = false;
  snapshotSectionBoxes();
  clearLog();
  appendLog(kBurningPicLine, kStyleBlue);
  startBurns(idleRows(), run_burn, kBurningPicLine);
  return 1;
}

long BurnPage::onResume() { return resumeBox(firstRow()); }

// Another box's job does not hold this one: only its own job, a control
// exchange, or (for the first box) the register console's use of its line.
bool BurnPage::mayResume(const BoxRow& row) const { return row.resumable && mayStartOn(row); }

// Continues the box's burn that failed or was stopped, on the same loaded
// file, from its saved log; only the stages it still owes are burned and
// planned.
long BurnPage::resumeBox(BoxRow& row) {
  if (!mayResume(row) || refuseFaultyFile() || refuseChangedFile()) return 1;
  if (refuseControlExchange() || (row.first() && rows_.size() == 1 && refuseWithoutPort())) return 1;
  ResumePlan plan;
  std::string why;
  // Only the log of the burn that just ended tells what the box holds now.
  const std::string port = row.port();
  bool found = find_resume_plan(default_burn_log_dir(), port, loaded_.sha256, &plan, &why);
  if (found && plan.log_path != row.savedLogPath) {
    found = false;
    why = "a later burn on " + port + " has been logged since (" + plan.log_path + ")";
  }
  if (!found) {
    row.resumable = false;
    showResumeButton(false);
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_resume_none", "Nothing to resume:") + "\n" + why.c_str());
    return 1;
  }
  snapshotSectionBoxes();
  joinRound(row);
  startJob(row, burnJob(row, run_burn, "", &plan));
  return 1;
}

long BurnPage::onRecall() {
  if (burnRunning() || !system_font_present(loaded_.flags) || refuseFaultyFile() || refuseChangedFile())
    return 1;
  if (refuseControlExchange() || (rows_.size() == 1 && refuseWithoutPort()) || !confirmBadChecksums())
    return 1;
  recallArmed_ = false;
  snapshotSectionBoxes();
  appendLog(kFontLoadingLine, kStyleBlue);
  startBurns(idleRows(), run_system_font_burn, kFontLoadingLine);
  return 1;
}

// A job started on one box while others run counts with theirs; alone, it
// is a round of its own with a fresh log.
void BurnPage::joinRound(BoxRow& row) {
  if (burnRunning()) {
    if (std::find(round_.begin(), round_.end(), &row) == round_.end()) round_.push_back(&row);
    return;
  }
  clearLog();
  round_ = {&row};
}

void BurnPage::startBurns(const std::vector<BoxRow*>& rows, BurnRunner run, const char* first_line) {
  round_ = rows;
  for (BoxRow* row : rows) startJob(*row, burnJob(*row, run, first_line, nullptr));
}

// The burn writes what the load read. A file changed since would put into
// the box something other than what the file on disk now says, and the saved
// log would name a digest of the wrong file: the engineer loads it again.
bool BurnPage::refuseChangedFile() {
  std::string why;
  if (chipset_unchanged(loaded_, chipsetPath.text(), &why)) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error", why.c_str());
  return true;
}

// One job at a time drives the progress bar: a control exchange runs for
// more than a minute, and a burn waits for it.
bool BurnPage::refuseControlExchange() {
  if (!lines_.use.controlExchangeRunning()) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_burn_control", kControlRunningText));
  return true;
}

// Without the programming port every stage would fail in turn; the log says
// why there is none instead, in red.
bool BurnPage::refuseWithoutPort() {
  if (lines_.programming.is_open()) return false;
  clearLog();
  appendLog(FXString(whyClosed(firstRow().port()).c_str()) + "\n", kStyleRed);
  return true;
}

std::string BurnPage::whyClosed(const std::string& port) const {
  for (const auto& row : rows_) {
    if (row->port() != port) continue;
    const FXString& why = row->keeper().problem();
    if (!why.empty()) return why.text();
  }
  return ui_text_or("m_port_open", "The programming port did not open").text();
}

// Lines the writers would put in the wrong place, a repeated section or a
// damaged file: the log of the load names them, and nothing is burned.
bool BurnPage::refuseFaultyFile() {
  if (chipset_clean(loaded_)) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_burn_faulty", kFaultyFileText));
  return true;
}

// Records with a wrong checksum are burned as they stand only when the
// engineer says so; No is the answer a stray Enter gives.
bool BurnPage::confirmBadChecksums() {
  if (loaded_.bad_checksums == 0) return true;
  return ask_yes_default_no(log->getShell(), ui_text_or("m_burn_anyway_cap", kBurnAnywayCaption),
                            ui_text_or("m_burn_anyway", kBurnAnywayText)) == MBOX_CLICKED_YES;
}

void BurnPage::snapshotSectionBoxes() {
  for (int i = 0; i < kSectionCount; ++i) boxChecked_[i] = sectionChecks[i]->getCheck() == TRUE;
}

BurnSettings BurnPage::burnSettings() const {
  BurnSettings settings;
  if (PageHost* window = owner()) {
    settings.flash_delay = window->burnDelays().flash;
    settings.sysfont_delay = window->burnDelays().sysfont;
  }
  const auto* checked = &boxChecked_;
  settings.stage_checked = [checked](Section stage) { return (*checked)[section_row(stage)].load(); };
  settings.verify = verify != FALSE;
  return settings;
}

// The stages a burn chooses from the section boxes (the system font alone
// for hv_recall).
unsigned BurnPage::chosenStages(bool system_font_alone) const {
  if (system_font_alone) return section_flag(Section::OsdSysFont);
  unsigned stages = 0;
  for (const SectionInfo& info : section_table())
    if (info.section != Section::Header && sectionBox(info.section)->getCheck() == TRUE)
      stages |= section_flag(info.section);
  return stages;
}

BurnPage::Job BurnPage::burnJob(const BoxRow& row, BurnRunner run, const char* first_line,
                                const ResumePlan* resume) {
  const bool font_alone = run == static_cast<BurnRunner>(run_system_font_burn);
  BurnSettings settings = burnSettings();
  unsigned stages = chosenStages(font_alone);
  unsigned planned = font_alone ? stages : stages | section_flag(Section::Pic);
  if (resume) {
    continue_burn(*resume, &settings);
    stages = resume->chosen;
    planned = resume->owed();
  }
  // The worker burns its own copy: nothing the GUI does can change it midway.
  auto chipset = std::make_shared<const LoadedChipset>(loaded_);
  Job job;
  job.work = [run, chipset, settings](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run(link, *chipset, settings, sink, cancel);
  };
  job.plan = resume ? resumePlan(*resume) : burnPlan(planned);
  job.saved = savedLogRequest(row, first_line, stages);
  job.saved.verify = settings.verify;
  if (resume) {
    job.saved.header.resumes = resume->log_path;
    job.saved.resume = resume->point;
  }
  job.whole_burn = !font_alone;
  return job;
}

// Starts `job` on the row's box. Its reports reach the GUI thread in order
// through the UI queue; the row keeps what the end needs.
void BurnPage::startJob(BoxRow& row, Job job) {
  burnEnd_ = BurnEnd::None;
  row.job = job.kind;
  // Any new run on the box ends what a Resume could take up.
  row.wholeBurn = job.whole_burn;
  row.resumable = false;
  if (row.first()) showResumeButton(false);
  row.redLines.clear();
  row.running = true;
  row.stopping = false;
  row.lineLost = false;
  row.verification.reset();
  row.savedLogPath.clear();
  BoxRow* target = &row;
  GuiBurnSink::Handlers handlers;
  handlers.log = [this, target](const std::string& text, int style) {
    FXString line = text.c_str();
    // Lines of several boxes at once each say whose they are.
    if (round_.size() > 1) line = FXString(target->port().c_str()) + ": " + line;
    appendLog(line, style);
    if (style == kStyleRed || style == kStyleBoldRed || style == kStyleUnderlinedRed)
      target->redLines.push_back(FXString(text.c_str()).trimEnd());
  };
  handlers.stage_begun = [target](Section stage) { target->status.stageBegun(stage, monotonic_ms()); };
  handlers.waiting = [this, target](Section next, int seconds) {
    target->status.waiting(next, seconds, monotonic_ms());
    showStatus();
  };
  handlers.stopped_at = [target](Section stage, int address) { target->status.stoppedAt(stage, address); };
  handlers.done = [this, target](bool ok) { onBoxEnded(*target, ok); };
  // The line is gone or failing: the lamp says so, and the keeper takes the
  // line up again when the job has ended.
  handlers.line_lost = [this, target] {
    target->lineLost = true;
    target->showLamp(false);
    if (target->first())
      if (PageHost* window = owner()) window->showPortLamp(false);
  };
  if (row.first()) {
    if (PageHost* window = owner()) window->lockTabsForBurn();
    lines_.use.setProgrammingWorker(true);
  }
  row.status.start(job.plan, monotonic_ms(), job.kind);
  BoxJob boxJob;
  boxJob.work = std::move(job.work);
  boxJob.plan = job.plan;
  const SavedLogRequest& saved = job.saved;
  boxJob.log_dir = default_burn_log_dir();
  prune_burn_logs(boxJob.log_dir, std::time(nullptr), saved.keeping.days, size_t(saved.keeping.files));
  boxJob.log_header = saved.header;
  boxJob.recorded_first_line = saved.first_line;
  const std::string saved_text = saved.saved_text;
  boxJob.saved_line = [saved_text](const std::string& path) { return saved_text + " " + path + "\n"; };
  boxJob.resumes = saved.resume;
  if (saved.verify) boxJob.verification = std::make_pair(*saved.verify, std::string(kVerifyOffReason));
  boxJob.front.reset(new GuiBurnSink(handlers));
  std::string log_error;
  lines_.station.start(&row.box(), std::move(boxJob), &log_error);
  row.savedLogPath = row.box().log_path();
  // A folder that cannot be written is only a warning in the burn log.
  if (!log_error.empty()) handlers.log(saved.failed_text + " " + log_error + "\n", kStyleRed);
  row.showRunning(true);
  showRunningControls(true);
  showStation();
  armTick();
}

void BurnPage::armTick() {
  if (!log->getApp()->hasTimeout(clock_.get(), BurnClock::ID_TICK))
    log->getApp()->addTimeout(clock_.get(), BurnClock::ID_TICK, BurnClock::kTickMs);
}

// Everything the saved log needs from widgets and the catalogue, taken on the
// GUI thread before the job starts.
BurnPage::SavedLogRequest BurnPage::savedLogRequest(const BoxRow& row, const char* first_line,
                                                    unsigned stages) const {
  SavedLogRequest request;
  request.first_line = first_line;
  request.saved_text = caption_or("hv_log_saved", kLogSavedText);
  request.failed_text = caption_or("hv_log_failed", kLogFailedText);
  if (application) request.keeping = read_log_keeping(application->reg());
  BurnLogSetup setup;
  setup.program = "tvbox";
  setup.chipset_path = chipsetPath.text();
  if (PageHost* window = owner()) {
    const BurnDelays delays = window->burnDelays();
    setup.flash_delay = delays.flash;
    setup.sysfont_delay = delays.sysfont;
  }
  setup.port = row.port();
  setup.device = deviceOf(row);
  for (const SectionInfo& info : section_table())
    if (info.section != Section::Header && (stages & section_flag(info.section)))
      setup.sections |= section_flag(info.section);
  setup.verify = verify != FALSE;
  request.header = burn_log_header(setup);
  // The size and digest are those of the bytes the load read.
  request.header.load_log = loaded_.log;
  request.header.chipset_sha256 = loaded_.sha256;
  request.header.chipset_size = loaded_.size;
  return request;
}

// The device the box's line is open on, or would open.
std::string BurnPage::deviceOf(const BoxRow& row) const {
  const SerialPort& line = row.box().line();
  return line.is_open() ? line.path() : port_device_path(row.port());
}

// A box's last report, on the GUI thread. Its worker has nothing left to do
// but return, so joining it here waits only for that.
void BurnPage::onBoxEnded(BoxRow& row, bool ok) {
  lines_.station.reap();
  row.running = false;
  const bool stopped = row.box().cancelled();
  if (row.stopping) row.box().line().abandon_waits(false);  // the waits Stop cut short
  row.stopping = false;
  row.verification = row.box().verification();
  using Outcome = BurnStatus::Outcome;
  const PortStatus now = row.box().status();
  row.status.figures(now.percent, now.left_s);
  row.status.end(ok ? Outcome::Completed : stopped ? Outcome::Stopped : Outcome::Failed, monotonic_ms());
  row.show(now);
  row.showRunning(false);
  // A burn that failed or was stopped can be taken up where it ended.
  // Without its saved log there is nothing to take it up from.
  row.resumable = !ok && row.wholeBurn && !shuttingDown_ && !row.savedLogPath.empty();
  if (row.first()) {
    lines_.use.setProgrammingWorker(false);
    // A port saved while the box ran is its port from now on.
    if (PageHost* window = owner()) setFirstPort(window->portKeeper().programmingName());
    if (PageHost* window = owner()) {
      window->giveConsoleBack();
      if (!shuttingDown_) window->resumePolling();
    }
    if (row.resumable) showResumeButton(true);
  }
  // The job lost the line: its keeper closes it and takes it up again.
  if (row.lineLost && !shuttingDown_) {
    if (row.first()) {
      if (PageHost* window = owner()) window->programmingLineLost();
    } else {
      row.keeper().lineLost(port_problem_line(ui_text_or("m_port_hung", "Hung up"), row.box().line().path(),
                                              ui_text_or("m_box_hangup", "The box's port is no longer read"),
                                              row.port()));
    }
  }
  if (!burnRunning()) onRoundEnded();
  showStatus();
}

// Every box of the round has ended: the controls come back and a burn's
// round has its box.
void BurnPage::onRoundEnded() {
  log->getApp()->removeTimeout(clock_.get(), BurnClock::ID_TICK);
  if (PageHost* window = owner()) window->showProgress(0);  // the rows keep each box's end
  showRunningControls(false);
  bool anyBurn = false, allOk = true, anyStopped = false;
  for (BoxRow* row : round_) {
    if (row->job != BurnStatus::Job::Burn) continue;
    anyBurn = true;
    const BoxState state = row->box().status().state;
    allOk = allOk && state == BoxState::Ok;
    anyStopped = anyStopped || state == BoxState::Cancelled;
  }
  // A compare or a backup ends in its log, its row and the status line;
  // only a burn has its completion box.
  if (!anyBurn || shuttingDown_) return;
  if (round_.size() == 1) {
    BoxRow& row = *round_.front();
    burnEnd_ = allOk ? BurnEnd::Succeeded : anyStopped ? BurnEnd::Stopped : BurnEnd::Failed;
    completedText_ = allOk ? completedText(row) : failureText(row);
    return;
  }
  // A round of several boxes: the stops the engineer made need no box, but
  // the others are counted in one.
  burnEnd_ = allOk ? BurnEnd::Succeeded : BurnEnd::Failed;
  completedText_ = roundText();
}

void BurnPage::showResumeButton(bool shown) {
  if (shuttingDown_ || resumeButton->shown() == FXbool(shown)) return;
  if (shown)
    resumeButton->show();
  else
    resumeButton->hide();
  resumeButton->getParent()->recalc();
}

// Stops every box, waits for each worker, and lets their last reports reach
// the widgets while these still exist.
void BurnPage::cancelAndJoinBurn() {
  for (const auto& row : rows_)
    if (row->box().busy()) lines_.station.cancel(&row->box());
  lines_.station.join_all();
  ui_queue().drain();
  lines_.station.reap();
  for (const auto& row : rows_) row->box().line().abandon_waits(false);
}

// Stop (and Esc) stops every box. The workers are not waited for here: a box
// that has gone quiet would hold the window for its time-outs. Their waits
// on the lines are cut short instead, and each end gives its row back.
long BurnPage::onStop() {
  for (const auto& row : rows_) stopBox(*row);
  return 1;
}

long BurnPage::stopBox(BoxRow& row) {
  if (!row.running || row.stopping) return 1;
  row.stopping = true;
  lines_.station.cancel(&row.box());
  return 1;
}

void BurnPage::tick() {
  if (!burnRunning()) return;
  showStation();
  log->getApp()->addTimeout(clock_.get(), BurnClock::ID_TICK, BurnClock::kTickMs);
}

// Each row from its box's status; the status line and the progress bar show
// the one box running, or the whole station.
void BurnPage::showStation() {
  int running = 0;
  const BoxRow* only = nullptr;
  for (const auto& row : rows_) {
    const PortStatus now = row->box().status();
    if (row->running) {
      // Until its worker begins, a box has no figures of its own.
      if (now.state == BoxState::Running) row->status.figures(now.percent, now.left_s);
      ++running;
      only = row.get();
    }
    if (row->running || now.state != BoxState::Waiting) row->show(now);
  }
  // The bar tells what the status line tells: the round when it has more
  // than one box (a box that ended still counts), else the one box's stage.
  if (PageHost* window = owner()) {
    if (round_.size() > 1)
      window->showProgress(tally(roundStatuses()).job_percent);
    else if (running == 1)
      window->showProgress(only->box().status().percent);
  }
  showStatus();
}

void BurnPage::showStatus() {
  if (PageHost* window = owner()) window->showStatus(stationText());
}

// One box: its own words ("FLASH 48%  0:41  about 1:10 left", how it
// ended). More than one in the round: the station's count.
std::vector<PortStatus> BurnPage::roundStatuses() const {
  std::vector<PortStatus> statuses;
  for (BoxRow* row : round_) statuses.push_back(row->box().status());
  return statuses;
}

FXString BurnPage::stationText() const {
  const std::vector<PortStatus> statuses = roundStatuses();
  const BoxRow* only = nullptr;
  int running = 0;
  for (const auto& row : rows_)
    if (row->running) {
      ++running;
      only = row.get();
    }
  if (round_.size() <= 1 && running <= 1) {
    const BoxRow* shown = only ? only : round_.empty() ? nullptr : round_.front();
    return shown ? shown->status.text(monotonic_ms()) : FXString::null;
  }
  const StationTally count = tally(statuses);
  const BurnStatus::Job job = round_.empty() ? BurnStatus::Job::Burn : round_.front()->job;
  const EndText& words = kRoundRunning[int(job)];
  FXString text = ui_text_filled("m_st_boxes", "{} boxes", FXStringFormat("%d", count.boxes));
  if (count.running)
    text = FXStringFormat("%d ", count.running) +
           ui_text_filled(words.key, words.english, FXStringFormat("%d", count.boxes));
  if (count.failed)
    text += ", " + ui_text_filled("m_st_n_failed", "{} failed", FXStringFormat("%d", count.failed));
  if (count.cancelled)
    text += ", " + ui_text_filled("m_st_n_stopped", "{} stopped", FXStringFormat("%d", count.cancelled));
  if (count.ok) text += ", " + ui_text_filled("m_st_n_done", "{} done", FXStringFormat("%d", count.ok));
  if (count.running && count.left_s >= 0)
    text += "; " + ui_text_filled("m_st_left", "about {} left", minutes_and_seconds(std::ceil(count.left_s)));
  return text;
}

// Stop takes the burn button's place, at its size, while any job runs.
void BurnPage::showRunningControls(bool running) {
  if (shuttingDown_) return;
  FXButton* shown = running ? stopButton : burnButton;
  FXButton* hidden = running ? burnButton : stopButton;
  const bool had_focus = hidden->hasFocus();
  burnSlot_->setCurrent(running ? 1 : 0);
  hidden->hide();
  shown->show();
  if (had_focus) shown->setFocus();
  burnSlot_->recalc();
}

// The stages a job is planned to run, for the time left.
StagePlan BurnPage::burnPlan(unsigned mask) const {
  BurnDelays delays;
  if (PageHost* window = owner()) delays = window->burnDelays();
  return plan_stages(loaded_, mask, delays.flash, delays.sysfont);
}

// A resume is planned for what it owes: the flash from its first unfinished
// sector, the flash delay only when the PIC program is burned again.
StagePlan BurnPage::resumePlan(const ResumePlan& resume) const {
  BurnDelays delays;
  if (PageHost* window = owner()) delays = window->burnDelays();
  return plan_resume(loaded_, resume, delays.flash, delays.sysfont);
}

// The failure box says first what to do, then where the burn failed and the
// first thing that went wrong; the log keeps the rest.
FXString BurnPage::failureText(const BoxRow& row) const {
  FXString text = ui_text_or("m_burn_failed", kFailedText);
  text += "\n\n" + row.status.text(monotonic_ms());
  if (!row.redLines.empty()) text += "\n" + row.redLines.front();
  if (row.lineLost)
    text += "\n\n" + ui_text_or("m_burn_replug",
                                "The box's port went away. Plug the cable back in: the lamp turns green "
                                "when the port is back. Then press Resume to finish the burn.");
  else if (row.resumable)
    text +=
        "\n\n" + ui_text_or("m_burn_resume_hint", "Press Resume to finish the burn from where it failed.");
  return text;
}

// "Burning Process Completed." as it always was, and under it whether what
// was burned was read back.
FXString BurnPage::completedText(const BoxRow& row) const {
  FXString text = kCompletedText;
  if (!row.verification) return text;
  using Outcome = BurnVerification::Outcome;
  switch (row.verification->outcome()) {
    case Outcome::Verified: return text + "\n" + ui_text_or("m_burn_verified", kVerifiedText);
    case Outcome::NothingReadable: return text + "\n" + ui_text_or("m_burn_unreadable", kUnreadableText);
    default: return text + "\n" + ui_text_or("m_burn_not_verified", kNotVerifiedText);
  }
}

// A round of several boxes: how many ended how, and each box that did not
// end well with its first failure.
FXString BurnPage::roundText() const {
  std::vector<PortStatus> statuses;
  for (BoxRow* row : round_) statuses.push_back(row->box().status());
  const StationTally count = tally(statuses);
  FXString text =
      count.ok == count.boxes ? FXString(kCompletedText) : ui_text_or("m_burn_failed", kFailedText);
  text +=
      "\n\n" + ui_text_filled("m_round_burned", "Burned: {}", FXStringFormat("%d/%d", count.ok, count.boxes));
  for (const PortStatus& box : statuses) {
    if (box.state == BoxState::Ok) continue;
    text += FXString("\n") + box.port.c_str() + ": " + row_stage_text(box);
    if (!box.first_failure.empty() && box.state == BoxState::Failed)
      text += FXString(": ") + box.first_failure.c_str();
  }
  if (count.failed)
    text += "\n\n" + ui_text_or("m_round_resume", "Press Resume in a box's row to finish its burn.");
  return text;
}

bool BurnPage::checkBurnCompleted() {
  if (burnEnd_ == BurnEnd::None) return false;
  const BurnEnd end = burnEnd_;
  const bool ok = end == BurnEnd::Succeeded;
  burnEnd_ = BurnEnd::None;  // cleared first: the box below runs a modal loop
  // A burn the user stopped needs no box: the status line and the log say
  // where it stopped.
  if (end == BurnEnd::Stopped) return true;
  show_message(log->getShell(), ok ? MessageKind::Information : MessageKind::Error, MBOX_OK,
               kCompletedCaption, completedText_);
  return true;
}

// ---- the station's boxes ----------------------------------------------------

std::vector<BoxRow*> BurnPage::rows() const {
  std::vector<BoxRow*> all;
  for (const auto& row : rows_) all.push_back(row.get());
  return all;
}

std::vector<std::string> BurnPage::boxPorts() const {
  std::vector<std::string> ports;
  for (const auto& row : rows_) ports.push_back(row->port());
  return ports;
}

bool BurnPage::setFirstPort(const std::string& port) {
  if (!lines_.station.rename(&lines_.first, port)) return false;
  firstRow().showLamp(lines_.programming.is_open());
  return true;
}

bool BurnPage::addBox(const std::string& port, FXString* why, bool open_now) {
  auto refuse = [why](const FXString& text) {
    if (why) *why = text;
    return false;
  };
  if (port.empty()) return refuse(ui_text_or("m_box_noname", "Choose a port for the box."));
  for (const auto& row : rows_)
    if (port_device_path(row->port()) == port_device_path(port))
      return refuse(ui_text_filled("m_box_taken", "{} already has a box in the station.", port.c_str()));
  Box* box = lines_.station.add(port);
  if (!box)
    return refuse(ui_text_filled("m_box_taken", "{} already has a box in the station.", port.c_str()));
  LineKeeper::Line line;
  line.port = &box->line();
  line.open = [](SerialPort& serial, const std::string& name, int* error) {
    const OpenResult result = open_programming_line(serial, name, error);
    // The station's time left counts what the box's adapter adds to each answer.
    if (result == kOpened) take_adapter_latency(serial, system_roots_from_environment());
    return result;
  };
  line.may_reopen = [box] { return !box->busy(); };
  line.failed_key = "m_box_open";
  line.failed_english = "The box's port did not open";
  line.opened_key = "m_box_opened";
  line.opened_english = "The box's port is open";
  line.hangup_key = "m_box_hangup";
  line.hangup_english = "The box's port is no longer read";
  // The row is made after its keeper, whose lamp is the row's.
  auto row_of_keeper = std::make_shared<BoxRow*>(nullptr);
  LineKeeper::Display display;
  display.lamp = [row_of_keeper](bool open) {
    if (*row_of_keeper) (*row_of_keeper)->showLamp(open);
  };
  display.tell = [](const FXString& text) { trace("%s\n", text.text()); };
  auto* keeper = new LineKeeper(log->getApp(), line, display);
  keeper->setName(port);
  auto* row = new BoxRow(rowsFrame, *this, *box, *keeper, true, icons_);
  *row_of_keeper = row;
  if (rowsFrame->id()) {
    row->frame->create();
    row->moreButton->getMenu()->create();
  }
  rows_.emplace_back(row);
  if (open_now) {
    keeper->tryNow();
    // A port held by another program, or one that is not there, is refused
    // with the reason: the engineer chose the wrong one.
    if (!box->line().is_open()) {
      const FXString problem = keeper->problem();
      removeBox(*row);
      return refuse(problem);
    }
  }
  row->showLamp(box->line().is_open());
  keeper->armRetry();
  showStationShape();
  return true;
}

bool BurnPage::mayRemove(const BoxRow& row) const { return !row.first() && !row.running; }

bool BurnPage::removeBox(BoxRow& row) {
  if (!mayRemove(row)) return false;
  auto found =
      std::find_if(rows_.begin(), rows_.end(), [&row](const auto& one) { return one.get() == &row; });
  if (found == rows_.end()) return false;
  round_.erase(std::remove(round_.begin(), round_.end(), &row), round_.end());
  Box* box = &row.box();
  rows_.erase(found);  // the row and its keeper go before the box's line
  box->line().close();
  lines_.station.remove(box);
  showStationShape();
  return true;
}

// Start-up, after the probe: each other box's line is opened once; one
// that does not open keeps its row, and its keeper tries again.
void BurnPage::openOtherLines() {
  for (const auto& row : rows_) {
    if (row->first()) continue;
    row->keeper().tryNow();
    row->showLamp(row->box().line().is_open());
    row->keeper().armRetry();
  }
}

// One box: the one-box tab, its buttons the box's. More: the rows show, and
// the tab's buttons act on every box.
void BurnPage::showStationShape() {
  if (shuttingDown_) return;
  const bool many = rows_.size() > 1;
  if (many != FXbool(rowsFrame->shown())) {
    if (many)
      rowsFrame->show();
    else
      rowsFrame->hide();
  }
  burnButton->setText(many ? ui_text_or("m_burn_all", "Burn all") : ui_text("hv_rec").section('\t', 0));
  stopButton->setText(
      many ? ui_text_or("m_stop_all", "Stop all")
           : ui_text_or("hv_stop", "&Stop\tStop the burn, compare or backup (Esc)").section('\t', 0));
  compareButton->setText(
      many ? ui_text_or("m_compare_all", "Compare all")
           : ui_text_or("hv_compare", "&Compare\tCompare the box with the loaded file").section('\t', 0));
  if (many) resumeButton->hide();
  rowsFrame->getParent()->recalc();
}

void BurnPage::openLogOf(BoxRow& row) {
  if (row.savedLogPath.empty()) return;
  if (PageHost* window = owner()) window->openFile(row.savedLogPath);
}

// ---- reading the box back ---------------------------------------------------
bool BurnPage::mayCompare() const {
  return !burnRunning() && lines_.use.mayStartProgrammingWorker() &&
         (loaded_.flags & (section_flag(Section::Flash) | section_flag(Section::Osd))) != 0;
}

bool BurnPage::mayBackUp() const { return mayBackUp(firstRow()); }

bool BurnPage::mayBackUp(const BoxRow& row) const { return mayStartOn(row); }

bool BurnPage::mayStartOn(const BoxRow& row) const {
  if (row.running || lines_.use.controlExchangeRunning()) return false;
  return !row.first() || lines_.use.mayStartProgrammingWorker();
}

// A second user of the port is refused with a box: its button is greyed, so
// only a stray command or a key gets here.
bool BurnPage::refuseBusyPort() {
  if (!burnRunning() && lines_.use.mayStartProgrammingWorker()) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_port_in_use", kPortBusyText));
  return true;
}

// The reads a compare makes in each memory the file writes, as the status
// line's plan. With switch a the Flash and OSD boxes choose the memories, as
// they choose the stages of a burn.
StagePlan BurnPage::comparePlan() const {
  StagePlan plan;
  for (Section stage : {Section::Flash, Section::Osd}) {
    if (sectionBox(stage)->getCheck() != TRUE) continue;
    const size_t reads = reads_covering(image_to_burn(loaded_, stage)).size();
    plan.seconds[int(stage)] = read_back_seconds(reads);
    plan.runs[int(stage)] = reads > 0;
  }
  return plan;
}

// Compare (all): every box that is not running compares itself with the
// loaded file.
long BurnPage::onCompare() {
  if (refuseBusyPort() || !mayCompare() || refuseFaultyFile() || refuseChangedFile()) return 1;
  if (rows_.size() == 1 && refuseWithoutPort()) return 1;
  const StagePlan plan = comparePlan();
  if (!plan.runs[int(Section::Flash)] && !plan.runs[int(Section::Osd)]) {
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_cmp_nothing", kNothingToCompareText));
    return 1;
  }
  clearLog();
  round_ = idleRows();
  for (BoxRow* row : round_) startJob(*row, compareJob(*row, plan));
  return 1;
}

BurnPage::Job BurnPage::compareJob(const BoxRow& row, const StagePlan& plan) {
  Job job;
  job.kind = BurnStatus::Job::Compare;
  job.plan = plan;
  CompareSettings settings;
  settings.flash = plan.runs[int(Section::Flash)];
  settings.osd = plan.runs[int(Section::Osd)];
  auto chipset = std::make_shared<const LoadedChipset>(loaded_);
  job.work = [chipset, settings](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run_compare(link, *chipset, settings, sink, cancel);
  };
  // The log names the file as a burn's does; of the settings only the
  // memories compared belong to a compare.
  job.saved = savedLogRequest(row, "", 0);
  job.saved.saved_text = caption_or("hv_read_log_saved", kReadLogSavedText);
  job.saved.failed_text = caption_or("hv_read_log_failed", kReadLogFailedText);
  job.saved.header.kind = "compare";
  job.saved.header.settings = {{"device", deviceOf(row)},
                               {"sections", settings.flash && settings.osd ? "flash,osd"
                                            : settings.flash               ? "flash"
                                                                           : "osd"}};
  return job;
}

// "tvbox-backup-2026-12-08-1405.hv" in the working folder, from the local
// time; a name that exists already is replaced only when the engineer says
// so, and one that cannot take the file is refused before the box is read.
bool BurnPage::askBackupPath(std::string* path) {
  const std::time_t now = std::time(nullptr);
  char name[64];
  std::strftime(name, sizeof name, "tvbox-backup-%Y-%m-%d-%H%M.hv", std::localtime(&now));
  FileDialogRequest request{"Save File", kBackupPatterns,
                            (FXSystem::getCurrentDirectory() + PATHSEPSTRING + name).text(), 500, 300};
  if (!ask_save_file(log->getShell(), request, path)) return false;
  const std::string problem = backup_target_problem(*path);
  if (!problem.empty()) {
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 (caption_or("m_backup_target", kBackupTargetText) + "\n" + problem).c_str());
    return false;
  }
  if (!FXStat::exists(path->c_str())) return true;
  return ask_yes_default_no(log->getShell(), ui_text_or("m_burn_anyway_cap", kBurnAnywayCaption),
                            ui_text_filled("m_backup_replace", kReplaceText, path->c_str())) ==
         MBOX_CLICKED_YES;
}

BurnPage::SavedLogRequest BurnPage::backupLogRequest(const BoxRow& row, const std::string& path) const {
  SavedLogRequest request;
  request.saved_text = caption_or("hv_read_log_saved", kReadLogSavedText);
  request.failed_text = caption_or("hv_read_log_failed", kReadLogFailedText);
  if (application) request.keeping = read_log_keeping(application->reg());
  request.header.program = "tvbox";
  request.header.kind = "backup";
  request.header.chipset_path = path;
  request.header.port = row.port();
  request.header.settings.push_back({"device", deviceOf(row)});
  request.header.settings.push_back({"sections", "flash,osd"});
  return request;
}

// The window's backup command backs up the first box; a row's Back up, its own.
long BurnPage::onBackup() { return backUpBox(firstRow()); }

long BurnPage::backUpBox(BoxRow& row) {
  auto refused = [&] {
    if (mayBackUp(row)) return false;
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_port_in_use", kPortBusyText));
    return true;
  };
  if (refused()) return 1;
  std::string path;
  if (!askBackupPath(&path) || refused()) return 1;
  if (row.first() && rows_.size() == 1 && refuseWithoutPort()) return 1;
  Job job;
  job.kind = BurnStatus::Job::Backup;
  const double seconds = read_back_seconds(size_t(kReadBackSpan / kBytesPerRead));
  for (Section stage : {Section::Flash, Section::Osd}) {
    job.plan.seconds[int(stage)] = seconds;
    job.plan.runs[int(stage)] = true;
  }
  BackupRequest request;
  request.path = path;
  request.port = row.port();
  job.work = [request](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run_backup(link, request, sink, cancel);
  };
  job.saved = backupLogRequest(row, path);
  joinRound(row);
  startJob(row, std::move(job));
  return 1;
}

PageHost* BurnPage::owner() const { return dynamic_cast<PageHost*>(window_); }

}  // namespace tv
