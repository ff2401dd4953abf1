// The burn tab: a burn station. The chipset panel (the file, its section
// boxes, Verify, the load log) is shared; below it each box has a row (its
// port, lamp, stage, progress, time left, Stop, Resume, its saved log). With
// one box the tab is the one-box tab it always was: hv_rec burns that box,
// Stop stands in its place while a job runs, Compare and Resume beside it.
// With more, hv_rec burns every box, Stop stops every box and Compare
// compares every box; each row stops, resumes and backs up its own.
//
// The jobs run on the station of the window's lines (tv::Station), one
// worker per box; a failure in one box never stops another. Each job reports
// through a GuiBurnSink, which hands its log lines and its end to the GUI
// thread through the UI queue; the figures (stage, percent, time left) are
// read from the box's status on a 4 Hz tick that runs only while a job runs.
// The workers read the section boxes through atomics that the boxes' own
// commands keep up to date, so they touch no widget. Closing the window
// cancels and joins them before a widget goes.
#pragma once

#include <fox-1.6/fx.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/burn_sink.h"
#include "burn/burn_verification.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "shell/burn_status.h"
#include "station/port_report.h"

namespace tv {

struct WindowIcons;
class PageHost;
struct BoxLines;
class BoxLink;
class SectionBoxWatcher;
class BurnClock;
class BurnSink;
struct BurnSettings;
class BoxRow;
class Box;
class LineKeeper;

class BurnPage {
 public:
  BurnPage(FX::FXComposite* pane, FX::FXObject* window, WindowIcons& icons);
  ~BurnPage();

  // The chipset file named in the file field (bound to it both ways).
  FX::FXString chipsetPath;
  // Read the flash and the OSD memory back after writing them (the Verify
  // box, bound to it both ways); stored with the settings.
  FX::FXbool verify = kVerifyByDefault;

  // Widgets the load and burn commands work with.
  // One per row of the section table, "Header" .. "OSD SysFont"; disabled when built.
  FX::FXCheckButton* sectionChecks[kSectionCount];
  FX::FXCheckButton* sectionBox(Section section) const { return sectionChecks[section_row(section)]; }
  FX::FXCheckButton* verifyCheck;  // hv_verify, below the section boxes
  FX::FXTextField* fileField;      // chipset path
  FX::FXButton* openButton;        // hv_open, ID 73
  FX::FXButton* burnButton;        // hv_rec, ID 74, disabled when built; "Burn all" with more boxes
  FX::FXButton* stopButton;        // hv_stop: in hv_rec's place, at its size, while a job runs
  FX::FXButton* compareButton;     // hv_compare, beside hv_rec
  FX::FXButton* resumeButton;      // hv_resume: beside hv_rec after a failed burn
  FX::FXButton* recallButton;      // hv_recall, ID 75, disabled and hidden
  FX::FXText* log;                 // the styled burn log
  FX::FXVerticalFrame* rowsFrame;  // the boxes' rows; shown with more than one box

  // The log, on the GUI thread: appends and keeps the end in view.
  void appendLog(const FX::FXString& text, int style);
  void clearLog();
  void showPathEnd();

  // Commands of the burn tab.
  long onOpen();
  long onBurn();
  long onRecall();
  // Reads back what the loaded file would write into the flash and the OSD
  // memory and compares it, writing nothing to the box.
  long onCompare();
  // Asks for a file name and reads the box's flash and OSD memory into it.
  long onBackup();
  // Stop (and Esc): the burn ends at its next packet, still sending the
  // closing four-Z line, and the log says where it stopped. The GUI goes on
  // at once; the worker's end gives the controls back.
  long onStop();
  // Resume: continues the burn that failed or was stopped on the same loaded
  // file, from its saved log; shown only until a load or a new burn.
  long onResume();
  // Each second while a burn runs: the status line's elapsed and left times.
  void tick();
  // Called on every poll tick: shows the completion box once a burn ended.
  // True when it showed one.
  bool checkBurnCompleted();

  // The station's boxes, the first box first.
  std::vector<BoxRow*> rows() const;
  BoxRow& firstRow() const { return *rows_.front(); }
  std::vector<std::string> boxPorts() const;
  // Adds a box on `port` (a row, and a keeper that opens its line at once
  // and keeps it open). Refused, with the reason in `why`, for a port
  // already in a row, one held by another program, or one that does not
  // open; `open_now` false (start-up) names the row and opens it later.
  bool addBox(const std::string& port, FX::FXString* why, bool open_now = true);
  // Not the first box, nor one whose job runs.
  bool removeBox(BoxRow& row);
  bool mayRemove(const BoxRow& row) const;
  // The first box follows the settings' port (start-up, Save); false while
  // it runs or when another row has that port.
  bool setFirstPort(const std::string& port);
  // Start-up, after the probe: opens every other box's line once.
  void openOtherLines();

  // A row's own commands.
  long stopBox(BoxRow& row);
  long resumeBox(BoxRow& row);
  long backUpBox(BoxRow& row);
  void openLogOf(BoxRow& row);
  bool mayResume(const BoxRow& row) const;
  bool mayBackUp(const BoxRow& row) const;
  // Nothing holds this box: a job may start on it.
  bool mayStartOn(const BoxRow& row) const;
  // The 4 Hz tick while a job runs: rows, status line, progress bar.
  void showStation();
  // What the status line says of the jobs now; empty when none ran.
  FX::FXString stationText() const;
  // The boxes of the round the status line tells, as they are now.
  std::vector<PortStatus> roundStatuses() const;

  // A job runs on some box: from its start until the GUI thread has taken
  // its end (or joined it).
  bool burnRunning() const;
  // Asks every running job to stop at its next packet boundary, waits for
  // them, and lets their last reports (the cancel line, the end) reach the
  // widgets. GUI thread only.
  void cancelAndJoinBurn();
  // What the last load left: the PIC image, the counts and the file's identity.
  const LoadedChipset& loaded() const { return loaded_; }

  // What the buttons may do now; the window enables them from these on each
  // GUI update. A load may start when no burn runs; a burn when the last load
  // found the five required sections; the system font alone when the last
  // load found it and no burn has started since (from a burn's start the
  // system-font button stays disabled until the next load).
  bool mayOpen() const { return !burnRunning(); }
  bool mayBurn() const { return !burnRunning() && burn_possible(loaded_.flags); }
  bool mayRecall() const { return !burnRunning() && recallArmed_; }
  // A compare needs a load that found the flash or the OSD section; both it
  // and a backup need the programming port free (port_use.h decides).
  bool mayCompare() const;
  bool mayBackUp() const;
  // The running worker burns (closing the window then leaves the box
  // half-written) rather than only reading the box.
  bool burnWriting() const;

 private:
  enum class BurnEnd { None, Succeeded, Failed, Stopped };

  PageHost* owner() const;  // the window, asked through what pages may ask
  void resetSectionBoxes();
  void showLoadResult(const LoadedChipset& chipset);
  void sayMissingSections(const LoadedChipset& chipset);
  void checkSectionBoxes(unsigned flags);
  bool refuseChangedFile();
  bool refuseControlExchange();
  bool refuseWithoutPort();
  bool refuseFaultyFile();
  bool confirmBadChecksums();
  void snapshotSectionBoxes();
  BurnSettings burnSettings() const;
  using BurnRunner = void (*)(BoxLink&, const LoadedChipset&, const BurnSettings&, BurnSink&,
                              const std::atomic<bool>&);
  struct SavedLogRequest {
    BurnLogHeader header;
    std::string first_line;  // the start command's own log line; none when empty
    std::string saved_text;  // "Burn log saved in", in the window's language
    std::string failed_text;
    LogKeeping keeping;                 // of the default log folder
    std::optional<ResumePoint> resume;  // a resumed burn: what the burns before it finished
    std::optional<bool> verify;         // a burn: whether it reads back (its log then says how it went)
  };
  SavedLogRequest savedLogRequest(const BoxRow& row, const char* first_line, unsigned stages) const;
  SavedLogRequest backupLogRequest(const BoxRow& row, const std::string& path) const;
  // One job on one box: what it does on the line, its stages for the time
  // left, and its saved log.
  using JobWork = std::function<void(BoxLink&, BurnSink&, const std::atomic<bool>&)>;
  struct Job {
    BurnStatus::Job kind = BurnStatus::Job::Burn;
    JobWork work;
    StagePlan plan;
    SavedLogRequest saved;
    bool whole_burn = false;  // a burn of the file (or its resume), which a Resume can take up
  };
  Job burnJob(const BoxRow& row, BurnRunner run, const char* first_line, const ResumePlan* resume);
  Job compareJob(const BoxRow& row, const StagePlan& plan);
  void startJob(BoxRow& row, Job job);
  void startBurns(const std::vector<BoxRow*>& rows, BurnRunner run, const char* first_line);
  std::vector<BoxRow*> idleRows() const;
  void joinRound(BoxRow& row);
  std::string deviceOf(const BoxRow& row) const;
  void showResumeButton(bool shown);
  bool refuseBusyPort();
  StagePlan comparePlan() const;
  bool askBackupPath(std::string* path);
  void onBoxEnded(BoxRow& row, bool ok);
  void onRoundEnded();
  void showRunningControls(bool running);
  void showStatus();
  void armTick();
  StagePlan burnPlan(unsigned mask) const;
  StagePlan resumePlan(const ResumePlan& resume) const;
  unsigned chosenStages(bool system_font_alone) const;
  FX::FXString failureText(const BoxRow& row) const;
  FX::FXString completedText(const BoxRow& row) const;
  FX::FXString roundText() const;
  void showStationShape();
  std::string whyClosed(const std::string& port) const;
  bool manyRunning() const;

  void buildTestColumn(FX::FXComposite* page, WindowIcons& icons);
  void buildLoadColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildLog(FX::FXComposite* column);

  FX::FXObject* window_;
  BoxLines& lines_;  // the window's lines and station, the link and who may use them
  WindowIcons& icons_;
  FX::FXDataTarget pathTarget_;
  FX::FXDataTarget verifyTarget_;
  std::unique_ptr<SectionBoxWatcher> boxWatcher_;
  std::array<std::atomic<bool>, kSectionCount> boxChecked_{};
  LoadedChipset loaded_;
  bool recallArmed_ = false;         // the last load found the system font; no burn since
  BurnEnd burnEnd_ = BurnEnd::None;  // the round's end, for its box; GUI thread only
  bool shuttingDown_ = false;        // the page is being destroyed
  FX::FXHiliteStyle styles_[kLogStyleCount];
  std::unique_ptr<FX::FXFont> logFont_;
  std::unique_ptr<BurnClock> clock_;
  std::vector<std::unique_ptr<BoxRow>> rows_;  // the first box's first
  std::vector<BoxRow*> round_;                 // the boxes the last start command started
  FX::FXString completedText_;                 // the box of the round that ended last, GUI thread only
  FX::FXSwitcher* burnSlot_ = nullptr;         // hv_rec, or Stop at its size while a job runs
};

// The ten log styles: white background, selection and highlight in
// (192,192,0) on white, white active background.
void fill_log_styles(FX::FXHiliteStyle (&styles)[kLogStyleCount]);

}  // namespace tv
