// The burn tab: the chipset file, its section boxes, the burn buttons and the
// coloured burn log, with the load, burn and system-font commands, and the
// two jobs that only read the box: a compare of the box with the loaded file
// and a backup of the box into a file (the window's menu starts that one).
//
// A burn, a compare or a backup runs on one worker thread that the page keeps (never detached): the
// worker reports through the UI queue and reads the section boxes through
// atomics that the boxes' own commands keep up to date, so it touches no
// widget. Closing the window cancels and joins it before a widget goes.
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
#include "shell/page_worker.h"

namespace tv {

struct WindowIcons;
class PageHost;
struct BoxLines;
class BoxLink;
class SectionBoxWatcher;
class BurnClock;
class BurnSink;
struct BurnSettings;

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
  FX::FXButton* burnButton;        // hv_rec, ID 74, disabled when built
  FX::FXButton* stopButton;        // hv_stop: in hv_rec's place while a burn runs
  FX::FXButton* compareButton;     // hv_compare, beside hv_rec
  FX::FXButton* resumeButton;      // hv_resume: beside hv_rec after a failed burn
  FX::FXButton* recallButton;      // hv_recall, ID 75, disabled and hidden
  FX::FXText* log;                 // the styled burn log

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

  // The worker. True from the start command until the GUI thread has taken
  // the worker's end (or joined it).
  bool burnRunning() const { return worker_.running(); }
  // Asks a running worker to stop at its next packet boundary, waits for it,
  // and lets its last reports (the cancel line, its end) reach the widgets.
  // GUI thread only.
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
  bool burnWriting() const { return burnRunning() && job_ == BurnStatus::Job::Burn; }

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
  void lockForBurn();
  void snapshotSectionBoxes();
  BurnSettings burnSettings() const;
  using BurnRunner = void (*)(BoxLink&, const LoadedChipset&, const BurnSettings&, BurnSink&,
                              const std::atomic<bool>&);
  void startWorker(BurnRunner run, const char* first_line, const ResumePlan* resume = nullptr);
  void showResumeButton(bool shown);
  struct SavedLogRequest {
    BurnLogHeader header;
    std::string first_line;  // the start command's own log line; none when empty
    std::string saved_text;  // "Burn log saved in", in the window's language
    std::string failed_text;
    LogKeeping keeping;                 // of the default log folder
    std::optional<ResumePoint> resume;  // a resumed burn: what the burns before it finished
    std::optional<bool> verify;         // a burn: whether it reads back (its log then says how it went)
  };
  SavedLogRequest savedLogRequest(const char* first_line, unsigned stages) const;
  SavedLogRequest backupLogRequest(const std::string& path) const;
  void openSavedLog(BurnLogFile& log_file, const SavedLogRequest& request);
  // One run of the worker: what it does on the port, its stages for the
  // status line, and its saved log.
  using JobWork = std::function<void(BoxLink&, BurnSink&, const std::atomic<bool>&)>;
  struct Job {
    BurnStatus::Job kind = BurnStatus::Job::Burn;
    JobWork work;
    StagePlan plan;
    SavedLogRequest saved;
    bool whole_burn = false;  // a burn of the file (or its resume), which a Resume can take up
  };
  void startJob(Job job);
  void lockPort();
  bool refuseBusyPort();
  StagePlan comparePlan() const;
  bool askBackupPath(std::string* path);
  void onBurnEnded(bool ok);
  void showRunningControls(bool running);
  void showStatus();
  StagePlan burnPlan(bool system_font_alone) const;
  FX::FXString failureText() const;
  FX::FXString completedText() const;

  void buildTestColumn(FX::FXComposite* page, WindowIcons& icons);
  void buildLoadColumn(FX::FXComposite* page, FX::FXObject* window, WindowIcons& icons);
  void buildLog(FX::FXComposite* column);

  FX::FXObject* window_;
  BoxLines& lines_;  // the window's lines, the link and who may use them
  FX::FXDataTarget pathTarget_;
  FX::FXDataTarget verifyTarget_;
  std::unique_ptr<SectionBoxWatcher> boxWatcher_;
  std::array<std::atomic<bool>, kSectionCount> boxChecked_{};
  LoadedChipset loaded_;
  bool recallArmed_ = false;  // the last load found the system font; no burn since
  PageWorker worker_;
  BurnEnd burnEnd_ = BurnEnd::None;  // the burn completed flag, GUI thread only
  bool shuttingDown_ = false;        // the page is being destroyed
  FX::FXHiliteStyle styles_[kLogStyleCount];
  std::unique_ptr<FX::FXFont> logFont_;
  std::unique_ptr<BurnClock> clock_;
  BurnStatus status_;
  std::vector<FX::FXString> redLines_;           // what the running burn said in red, for the failure box
  bool stopping_ = false;                        // Stop was pressed; the worker has not ended yet
  BurnStatus::Job job_ = BurnStatus::Job::Burn;  // what the worker runs, or ran last
  bool wholeBurn_ = false;  // the running worker burns (or resumes) the file, not the font alone
  bool resumable_ = false;  // the last burn failed or was stopped; no load or burn since
  // The saved log the running (or last) burn writes; empty when it could not
  // be written. Set by the worker before it burns, read after its end.
  std::string savedLogPath_;
  // Whether the last burn was verified; set by the worker after it burned,
  // read after its end.
  std::optional<BurnVerification> verification_;
  FX::FXString completedText_;  // the completion box of the burn that ended last, GUI thread only
};

// The ten log styles: white background, selection and highlight in
// (192,192,0) on white, white active background.
void fill_log_styles(FX::FXHiliteStyle (&styles)[kLogStyleCount]);

}  // namespace tv
