// Who may use the box's two lines now, decided here for every page.
//
// The programming port carries one exchange at a time. A worker takes it for
// its whole run (a burn, the system font alone, a compare of the box with the
// loaded file, a backup of the box into a file); meanwhile the register
// console neither sends nor reads, and the port is not reopened under it. The
// control line carries the control exchanges (query, line test), which run on
// a worker too and drive the progress bar for more than a minute: a burn and a
// control exchange exclude each other, and the control line is not reopened
// under its exchange. The register console's own exchanges run on the GUI
// thread, and so do reopens, so those two never overlap.
//
// GUI thread only: workers are started and their ends are taken there.
#pragma once

namespace tv {

class PortUse {
 public:
  // A worker holds the programming port.
  bool programmingWorkerRunning() const { return programmingWorker_; }
  bool controlExchangeRunning() const { return controlExchange_; }

  // The register console's commands and the reading of what the box sends.
  bool consoleMayTalk() const { return !programmingWorker_; }
  // A burn, a compare or a backup (each a worker on the programming port)
  // and a control exchange: one at a time, and never both. The buttons and
  // menu entries that start a worker are greyed while this is false.
  bool mayStartProgrammingWorker() const { return !programmingWorker_ && !controlExchange_; }
  bool mayStartControlExchange() const { return !programmingWorker_ && !controlExchange_; }
  // A line is reopened only while nothing runs on it.
  bool mayReopenProgrammingPort() const { return !programmingWorker_; }
  bool mayReopenControlLine() const { return !controlExchange_; }

  void setProgrammingWorker(bool running) { programmingWorker_ = running; }
  void setControlExchange(bool running) { controlExchange_ = running; }

 private:
  bool programmingWorker_ = false;
  bool controlExchange_ = false;
};

}  // namespace tv
