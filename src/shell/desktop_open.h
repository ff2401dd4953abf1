// Opening a file with the desktop's own program for it (a web page in the
// browser, a text in the editor), as a person would by a double click. The
// window opens its help page this way, and a box's saved log.
//
// The opener (xdg-open) may run as long as the program it starts, so it is
// never waited for: a watcher process waits for it and reports its outcome
// through a pipe that the caller's event loop watches.
#pragma once

namespace tv {

// The desktop's opener run on one file, without waiting for it: a watcher
// process waits for the opener and then writes its exit status as one byte
// to a pipe, whose reading end the window's event loop watches.
class DesktopOpener {
 public:
  DesktopOpener() = default;
  ~DesktopOpener();
  DesktopOpener(const DesktopOpener&) = delete;
  DesktopOpener& operator=(const DesktopOpener&) = delete;

  // False, and nothing started, when the file is missing or no process
  // could be made.
  bool start(const char* file_name);
  // Readable when the opener has ended; -1 when none was started.
  int endFd() const { return endFd_; }
  // After endFd() became readable: reads the outcome and reaps the watcher.
  // True when the opener said it opened the file (exit status 0).
  bool finish();

 private:
  int endFd_ = -1;
  int watcher_ = -1;  // pid
};

// The desktop's opener (xdg-open, from xdg-utils) and whether PATH has it.
extern const char* const kDesktopOpener;
bool desktop_opener_installed();

}  // namespace tv
