#include "shell/burn_page.h"

#include <ctime>
#include <utility>

#include "base/clock.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_summary.h"
#include "burn/read_back.h"
#include "dbkit/FXMessageSeam.h"
#include "shell/box_lines.h"
#include "shell/file_dialog_seam.h"
#include "shell/globals.h"
#include "shell/gui_burn_sink.h"
#include "shell/page_host.h"
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

// Ticks once a second while a burn runs, so the status line's times move
// even while the box takes long over one record.
class BurnClock : public FXObject {
  FXDECLARE(BurnClock)

 public:
  enum { ID_TICK = 1 };
  static constexpr FXuint kTickMs = 1000;

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
      pathTarget_(chipsetPath),
      verifyTarget_(verify),
      boxWatcher_(new SectionBoxWatcher(&boxChecked_)),
      worker_(lines_.programming),
      clock_(new BurnClock(this)) {
  fill_log_styles(styles_);
  auto* page = new FXHorizontalFrame(pane, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildTestColumn(page, icons);
  buildLoadColumn(page, window, icons);
}

// The window stops a running worker before it goes; this is the last guard.
// No poll timer is added for a window that is being destroyed.
BurnPage::~BurnPage() {
  shuttingDown_ = true;
  cancelAndJoinBurn();
  log->getApp()->removeTimeout(clock_.get(), BurnClock::ID_TICK);
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

  burnButton = new FXButton(buttonRow, ui_text("hv_rec"), icons.pencil, window, ID_BURN,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  burnButton->disable();
  stopButton = new FXButton(buttonRow, ui_text_or("hv_stop", "&Stop\tStop the burn, compare or backup (Esc)"),
                            nullptr, window, ID_STOP_BURN, BUTTON_NORMAL | LAYOUT_LEFT);
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
  if (device_unsupported) {
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error", kNotSupportedText);
    return 1;
  }
  if (burnRunning()) return 1;  // its controls are disabled; a stray command changes nothing
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

long BurnPage::onBurn() {
  if (burnRunning() || !burn_possible(loaded_.flags) || refuseFaultyFile() || refuseChangedFile()) return 1;
  if (refuseControlExchange() || refuseWithoutPort() || !confirmBadChecksums()) return 1;
  lockForBurn();
  clearLog();
  appendLog(kBurningPicLine, kStyleBlue);
  startWorker(run_burn, kBurningPicLine);
  return 1;
}

long BurnPage::onResume() {
  if (burnRunning() || !resumable_ || refuseFaultyFile() || refuseChangedFile()) return 1;
  if (refuseControlExchange() || refuseWithoutPort()) return 1;
  PageHost* window = owner();
  ResumePlan plan;
  std::string why;
  // Only the log of the burn that just ended tells what the box holds now.
  const std::string port = window ? window->programmingPortName() : std::string();
  bool found = find_resume_plan(default_burn_log_dir(), port, loaded_.sha256, &plan, &why);
  if (found && plan.log_path != savedLogPath_) {
    found = false;
    why = "a later burn on " + port + " has been logged since (" + plan.log_path + ")";
  }
  if (!found) {
    showResumeButton(false);
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_resume_none", "Nothing to resume:") + "\n" + why.c_str());
    return 1;
  }
  lockForBurn();
  clearLog();
  startWorker(run_burn, "", &plan);
  return 1;
}

long BurnPage::onRecall() {
  if (burnRunning() || !system_font_present(loaded_.flags) || refuseFaultyFile() || refuseChangedFile())
    return 1;
  if (refuseControlExchange() || refuseWithoutPort() || !confirmBadChecksums()) return 1;
  lockForBurn();
  appendLog(kFontLoadingLine, kStyleBlue);
  startWorker(run_system_font_burn, kFontLoadingLine);
  return 1;
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
  if (lines_.use.mayStartProgrammingWorker()) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_burn_control", kControlRunningText));
  return true;
}

// Without the programming port every stage would fail in turn; the log says
// why there is none instead, in red.
bool BurnPage::refuseWithoutPort() {
  if (lines_.programming.is_open()) return false;
  PageHost* window = owner();
  FXString why = window && !window->whyProgrammingPortIsClosed().empty()
                     ? window->whyProgrammingPortIsClosed()
                     : ui_text_or("m_port_open", "The programming port did not open");
  clearLog();
  appendLog(why + "\n", kStyleRed);
  return true;
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

// Nothing may start another load or burn, and the poll timer must not read
// the port while the worker owns it.
void BurnPage::lockForBurn() {
  recallArmed_ = false;
  lockPort();
  snapshotSectionBoxes();
}

void BurnPage::lockPort() {
  if (PageHost* window = owner()) window->lockTabsForBurn();
  lines_.use.setProgrammingWorker(true);
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
  settings.stage_checked = [checked](Stage stage) { return (*checked)[section_row(stage)].load(); };
  settings.verify = verify != FALSE;
  return settings;
}

void BurnPage::startWorker(BurnRunner run, const char* first_line, const ResumePlan* resume) {
  wholeBurn_ = run == static_cast<BurnRunner>(run_burn);
  showResumeButton(false);
  BurnSettings settings = burnSettings();
  unsigned stages = 0;
  for (const SectionInfo& info : section_table())
    if (info.section != Section::Header && sectionBox(info.section)->getCheck() == TRUE)
      stages |= section_flag(info.section);
  if (!wholeBurn_) stages = section_flag(Stage::OsdSysFont);
  if (resume) {
    continue_burn(*resume, &settings);
    stages = resume->chosen;
  }
  // The worker burns its own copy: nothing the GUI does can change it midway.
  auto chipset = std::make_shared<const LoadedChipset>(loaded_);
  Job job;
  job.work = [run, chipset, settings](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run(link, *chipset, settings, sink, cancel);
  };
  job.plan = burnPlan(run == static_cast<BurnRunner>(run_system_font_burn));
  job.saved = savedLogRequest(first_line, stages);
  job.saved.verify = settings.verify;
  if (resume) {
    job.saved.header.resumes = resume->log_path;
    job.saved.resume = resume->point;
  }
  job.whole_burn = wholeBurn_;
  startJob(std::move(job));
}

void BurnPage::startJob(Job job) {
  burnEnd_ = BurnEnd::None;
  job_ = job.kind;
  // Any new run on the port ends what a Resume could take up.
  wholeBurn_ = job.whole_burn;
  showResumeButton(false);
  GuiBurnSink::Handlers handlers;
  handlers.log = [this](const std::string& text, int style) {
    appendLog(text.c_str(), style);
    if (style == kStyleRed || style == kStyleBoldRed || style == kStyleUnderlinedRed)
      redLines_.push_back(FXString(text.c_str()).trimEnd());
  };
  handlers.progress = [this](int percent) {
    status_.progress(percent);
    if (PageHost* window = owner()) window->showProgress(percent);
  };
  handlers.stage_begun = [this](Stage stage) {
    status_.stageBegun(stage, monotonic_ms());
    showStatus();
  };
  handlers.waiting = [this](Stage next, int seconds) {
    status_.waiting(next, seconds, monotonic_ms());
    showStatus();
  };
  handlers.stopped_at = [this](Stage stage, int address) { status_.stoppedAt(stage, address); };
  handlers.done = [this](bool ok) { onBurnEnded(ok); };
  // The port is gone or failing: the lamp says so until the line is opened again.
  handlers.line_lost = [this] {
    if (PageHost* window = owner()) window->showPortLamp(false);
  };
  redLines_.clear();
  stopping_ = false;
  status_.start(job.plan, monotonic_ms(), job.kind);
  showStatus();
  log->getApp()->addTimeout(clock_.get(), BurnClock::ID_TICK, BurnClock::kTickMs);
  showRunningControls(true);
  worker_.start([this, work = std::move(job.work), handlers, saved = std::move(job.saved)] {
    GuiBurnSink sink(handlers);
    BurnLogFile log_file(sink);
    openSavedLog(log_file, saved);
    savedLogPath_ = log_file.is_open() ? log_file.path() : std::string();
    if (saved.resume) log_file.carry_resume_point(*saved.resume);
    if (saved.verify) log_file.track_verification(*saved.verify, kVerifyOffReason);
    work(lines_.link, log_file, worker_.cancelFlag());
    verification_ = log_file.verification();
  });
}

// Everything the saved log needs from widgets and the catalogue, taken on the
// GUI thread before the worker starts.
BurnPage::SavedLogRequest BurnPage::savedLogRequest(const char* first_line, unsigned stages) const {
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
    setup.port = window->programmingPortName();
    setup.flash_delay = delays.flash;
    setup.sysfont_delay = delays.sysfont;
  }
  setup.device = lines_.programming.path();
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

// On the worker: a folder that cannot be written is only a warning in the
// burn log.
void BurnPage::openSavedLog(BurnLogFile& log_file, const SavedLogRequest& request) {
  std::string error;
  const std::string dir = default_burn_log_dir();
  prune_burn_logs(dir, std::time(nullptr), request.keeping.days, size_t(request.keeping.files));
  if (!log_file.open(dir, request.header, &error)) {
    log_file.log(request.failed_text + " " + error + "\n", kStyleRed);
    return;
  }
  if (!request.first_line.empty()) log_file.record_only(request.first_line, kStyleBlue);
  log_file.set_cancel_flag(&worker_.cancelFlag());
  const std::string saved_text = request.saved_text;
  log_file.set_saved_line([saved_text](const std::string& path) { return saved_text + " " + path + "\n"; },
                          kStyleBlue);
}

// The worker's last report, on the GUI thread. The worker has nothing left to
// do but return, so joining it here waits only for that.
void BurnPage::onBurnEnded(bool ok) {
  worker_.finished();
  const bool stopped = worker_.cancelFlag().load();
  if (stopping_) lines_.programming.abandon_waits(false);  // the waits Stop cut short
  stopping_ = false;
  lines_.use.setProgrammingWorker(false);
  log->getApp()->removeTimeout(clock_.get(), BurnClock::ID_TICK);
  using Outcome = BurnStatus::Outcome;
  status_.end(ok ? Outcome::Completed : stopped ? Outcome::Stopped : Outcome::Failed, monotonic_ms());
  showStatus();
  showRunningControls(false);
  if (PageHost* window = owner()) {
    window->giveConsoleBack();
    if (!shuttingDown_) window->resumePolling();
  }
  // A compare or a backup ends in its log and the status line; only a burn
  // has its completion box.
  if (job_ == BurnStatus::Job::Burn) {
    burnEnd_ = ok ? BurnEnd::Succeeded : stopped ? BurnEnd::Stopped : BurnEnd::Failed;
    completedText_ = completedText();
  }
  // A burn that failed or was stopped can be taken up where it ended.
  // Without its saved log there is nothing to take it up from.
  if (!ok && wholeBurn_ && !shuttingDown_ && !savedLogPath_.empty()) showResumeButton(true);
}

void BurnPage::showResumeButton(bool shown) {
  resumable_ = shown;
  if (shuttingDown_ || resumeButton->shown() == FXbool(shown)) return;
  if (shown)
    resumeButton->show();
  else
    resumeButton->hide();
  resumeButton->getParent()->recalc();
}

void BurnPage::cancelAndJoinBurn() { worker_.stop(); }

// The worker is not waited for here: a box that has gone quiet would hold the
// window for its time-outs. Its waits on the port are cut short instead, and
// its end (onBurnEnded) gives the controls back.
long BurnPage::onStop() {
  if (!burnRunning() || stopping_) return 1;
  stopping_ = true;
  worker_.requestCancel();
  lines_.programming.abandon_waits(true);
  return 1;
}

void BurnPage::tick() {
  if (!burnRunning()) return;
  showStatus();
  log->getApp()->addTimeout(clock_.get(), BurnClock::ID_TICK, BurnClock::kTickMs);
}

void BurnPage::showStatus() {
  if (PageHost* window = owner()) window->showStatus(status_.text(monotonic_ms()));
}

// Stop takes the burn button's place for the length of a burn.
void BurnPage::showRunningControls(bool running) {
  if (shuttingDown_) return;
  FXButton* shown = running ? stopButton : burnButton;
  FXButton* hidden = running ? burnButton : stopButton;
  const bool had_focus = hidden->hasFocus();
  hidden->hide();
  shown->show();
  if (had_focus) shown->setFocus();
  shown->getParent()->recalc();
}

// The stages this burn is planned to run, for the estimate of the time left.
StagePlan BurnPage::burnPlan(bool system_font_alone) const {
  unsigned mask = system_font_alone ? section_flag(Stage::OsdSysFont) : section_flag(Stage::Pic);
  if (!system_font_alone)
    for (Stage stage : {Stage::Flash, Stage::Osd, Stage::OsdRusFont, Stage::OsdSysFont})
      if (boxChecked_[section_row(stage)]) mask |= section_flag(stage);
  BurnDelays delays;
  if (PageHost* window = owner()) delays = window->burnDelays();
  return plan_stages(loaded_, mask, delays.flash, delays.sysfont);
}

// The failure box says where the burn failed and why, in the burn's own
// words, rather than sending the engineer to the log.
FXString BurnPage::failureText() const {
  FXString text = ui_text_or("m_burn_failed", kFailedText);
  text += "\n\n" + status_.text(monotonic_ms());
  for (size_t i = 0; i < redLines_.size() && i < kFailureLinesShown; ++i) text += "\n" + redLines_[i];
  return text;
}

// "Burning Process Completed." as it always was, and under it whether what
// was burned was read back.
FXString BurnPage::completedText() const {
  FXString text = kCompletedText;
  if (!verification_) return text;
  using Outcome = BurnVerification::Outcome;
  switch (verification_->outcome()) {
    case Outcome::Verified: return text + "\n" + ui_text_or("m_burn_verified", kVerifiedText);
    case Outcome::NothingReadable: return text + "\n" + ui_text_or("m_burn_unreadable", kUnreadableText);
    default: return text + "\n" + ui_text_or("m_burn_not_verified", kNotVerifiedText);
  }
}

bool BurnPage::checkBurnCompleted() {
  if (burnEnd_ == BurnEnd::None) return false;
  const BurnEnd end = burnEnd_;
  const bool ok = end == BurnEnd::Succeeded;
  burnEnd_ = BurnEnd::None;  // cleared first: the box below runs a modal loop
  // A burn the user stopped needs no box: the status line and the log say
  // where it stopped.
  if (end == BurnEnd::Stopped) return true;
  if (ok)
    show_message(log->getShell(), MessageKind::Information, MBOX_OK, kCompletedCaption, completedText_);
  else
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, kCompletedCaption, failureText());
  return true;
}

// ---- reading the box back ---------------------------------------------------

bool BurnPage::mayCompare() const {
  return !burnRunning() && lines_.use.mayStartProgrammingWorker() &&
         (loaded_.flags & (section_flag(Stage::Flash) | section_flag(Stage::Osd))) != 0;
}

bool BurnPage::mayBackUp() const { return !burnRunning() && lines_.use.mayStartProgrammingWorker(); }

// A second user of the port is refused with a box: its button is greyed, so
// only a stray command or a key gets here.
bool BurnPage::refuseBusyPort() {
  if (!burnRunning() && lines_.use.mayStartProgrammingWorker()) return false;
  show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
               ui_text_or("m_port_busy", kPortBusyText));
  return true;
}

// The reads a compare makes in each memory the file writes, as the status
// line's plan. With switch a the Flash and OSD boxes choose the memories, as
// they choose the stages of a burn.
StagePlan BurnPage::comparePlan() const {
  StagePlan plan;
  for (Stage stage : {Stage::Flash, Stage::Osd}) {
    if (sectionBox(stage)->getCheck() != TRUE) continue;
    const size_t reads = reads_covering(image_to_burn(loaded_, stage)).size();
    plan.seconds[int(stage)] = read_back_seconds(reads);
    plan.runs[int(stage)] = reads > 0;
  }
  return plan;
}

long BurnPage::onCompare() {
  if (refuseBusyPort() || !mayCompare() || refuseFaultyFile() || refuseChangedFile() || refuseWithoutPort())
    return 1;
  Job job;
  job.kind = BurnStatus::Job::Compare;
  job.plan = comparePlan();
  if (!job.plan.runs[int(Stage::Flash)] && !job.plan.runs[int(Stage::Osd)]) {
    show_message(log->getShell(), MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_cmp_nothing", kNothingToCompareText));
    return 1;
  }
  CompareSettings settings;
  settings.flash = job.plan.runs[int(Stage::Flash)];
  settings.osd = job.plan.runs[int(Stage::Osd)];
  auto chipset = std::make_shared<const LoadedChipset>(loaded_);
  job.work = [chipset, settings](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run_compare(link, *chipset, settings, sink, cancel);
  };
  // The log names the file as a burn's does; of the settings only the
  // memories compared belong to a compare.
  job.saved = savedLogRequest("", 0);
  job.saved.saved_text = caption_or("hv_read_log_saved", kReadLogSavedText);
  job.saved.failed_text = caption_or("hv_read_log_failed", kReadLogFailedText);
  job.saved.header.kind = "compare";
  job.saved.header.settings = {{"device", lines_.programming.path()},
                               {"sections", settings.flash && settings.osd ? "flash,osd"
                                            : settings.flash               ? "flash"
                                                                           : "osd"}};
  lockPort();
  clearLog();
  startJob(std::move(job));
  return 1;
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

BurnPage::SavedLogRequest BurnPage::backupLogRequest(const std::string& path) const {
  SavedLogRequest request;
  request.saved_text = caption_or("hv_read_log_saved", kReadLogSavedText);
  request.failed_text = caption_or("hv_read_log_failed", kReadLogFailedText);
  if (application) request.keeping = read_log_keeping(application->reg());
  request.header.program = "tvbox";
  request.header.kind = "backup";
  request.header.chipset_path = path;
  if (PageHost* window = owner()) request.header.port = window->programmingPortName();
  request.header.settings.push_back({"device", lines_.programming.path()});
  request.header.settings.push_back({"sections", "flash,osd"});
  return request;
}

long BurnPage::onBackup() {
  if (refuseBusyPort()) return 1;
  std::string path;
  if (!askBackupPath(&path) || refuseBusyPort() || refuseWithoutPort()) return 1;
  Job job;
  job.kind = BurnStatus::Job::Backup;
  const double seconds = read_back_seconds(size_t(kReadBackSpan / kBytesPerRead));
  for (Stage stage : {Stage::Flash, Stage::Osd}) {
    job.plan.seconds[int(stage)] = seconds;
    job.plan.runs[int(stage)] = true;
  }
  BackupRequest request;
  request.path = path;
  if (PageHost* window = owner()) request.port = window->programmingPortName();
  job.work = [request](BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel) {
    run_backup(link, request, sink, cancel);
  };
  job.saved = backupLogRequest(path);
  lockPort();
  clearLog();
  startJob(std::move(job));
  return 1;
}

PageHost* BurnPage::owner() const { return dynamic_cast<PageHost*>(window_); }

}  // namespace tv
