// One box of the burn tab's station: its row of widgets (the port with its
// lamp, the stage, a progress bar, the time left, Stop or Resume, and a menu
// of the box's saved log, Back up and Remove) and what the GUI thread knows
// of its last job. Each
// row is a target of its own: its buttons come here, not through the
// window's command IDs, and it asks the page to act on its box.
//
// The first box's row shows only while the station has more than one box;
// with one box the tab's own buttons are that box's.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "burn/burn_verification.h"
#include "shell/burn_status.h"
#include "station/port_report.h"

namespace tv {

class Box;
class BurnPage;
class LineKeeper;
struct WindowIcons;

class BoxRow : public FX::FXObject {
  FXDECLARE(BoxRow)

 public:
  enum { ID_STOP = 1, ID_RESUME, ID_LOG, ID_BACKUP, ID_REMOVE };

  // `keeper`: the line's keeper, which the lamp tries at once; owned by the
  // row unless `owns_keeper` is false (the first box's is the window's).
  BoxRow(FX::FXComposite* rows, BurnPage& page, Box& box, LineKeeper& keeper, bool owns_keeper,
         WindowIcons& icons);
  ~BoxRow();

  Box& box() const { return *box_; }
  LineKeeper& keeper() const { return *keeper_; }
  const std::string& port() const;
  bool first() const { return !ownsKeeper_; }

  FX::FXHorizontalFrame* frame;    // the row
  FX::FXButton* lamp;              // the port's name with its lamp; a click tries the line at once
  FX::FXLabel* stage;              // "FLASH 48%", "waiting", "OK", "FAILED in FLASH at 0320"
  FX::FXProgressBar* bar;          // the job's own percent, by its plan
  FX::FXLabel* left;               // "1:10 left"
  FX::FXButton* stopButton;        // in Resume's place while a job runs
  FX::FXButton* resumeButton;      // after a burn that failed or was stopped
  FX::FXMenuButton* moreButton;    // the row's menu: the entries below
  FX::FXMenuCommand* logEntry;     // opens the saved log of the last job
  FX::FXMenuCommand* backupEntry;  // reads this box into a file
  FX::FXMenuCommand* removeEntry;  // not on the first box, nor while a job runs

  // What the GUI thread knows of the box's job.
  BurnStatus status;  // the stages and the end, for the status line
  BurnStatus::Job job = BurnStatus::Job::Burn;
  // From the start of a job until the GUI thread has taken its end: the
  // station's box may already be joined while its last report still waits
  // in the UI queue, and nothing may start on it or remove it before that.
  bool running = false;
  std::vector<FX::FXString> redLines;            // what the running job said in red, for the failure box
  bool stopping = false;                         // Stop was pressed; the job has not ended yet
  bool wholeBurn = false;                        // the job burns (or resumes) the file, not the font alone
  bool resumable = false;                        // the last burn failed or was stopped; no load or burn since
  bool lineLost = false;                         // the job lost the line: its keeper takes it up at the end
  std::string savedLogPath;                      // of the last job; empty when none was written
  std::optional<BurnVerification> verification;  // of the last burn

  // Shows the box's status now (the 4 Hz tick) and its lamp.
  void show(const PortStatus& now);
  void showLamp(bool open);
  // While a job runs Stop stands where Resume stands after it, at its size.
  void showRunning(bool running);

  long onStop(FX::FXObject*, FX::FXSelector, void*);
  long onResume(FX::FXObject*, FX::FXSelector, void*);
  long onOpenLog(FX::FXObject*, FX::FXSelector, void*);
  long onBackup(FX::FXObject*, FX::FXSelector, void*);
  long onRemove(FX::FXObject*, FX::FXSelector, void*);
  long onUpdate(FX::FXObject*, FX::FXSelector, void*);

 private:
  BoxRow() {}

  BurnPage* page_ = nullptr;
  Box* box_ = nullptr;
  LineKeeper* keeper_ = nullptr;
  bool ownsKeeper_ = false;
  FX::FXMenuPane* pane_ = nullptr;  // the row's menu; deleted with the row
  WindowIcons* icons_ = nullptr;
};

// "FLASH 48%", "waiting", "OK", "FAILED", "stopped" for a row's stage column.
FX::FXString row_stage_text(const PortStatus& status);

}  // namespace tv
