// What a page may ask of the window that holds it. A page talks to the box and
// keeps its own widgets; what belongs to the window (its lines to the box, its
// tabs, the progress bar, the port lamp, the poll timer, the settings values,
// why a port did not open) it asks for here, so that no page knows the
// window's class and the window stays the one place that changes its own
// widgets.
#pragma once

#include <fox-1.6/fx.h>

#include <string>

#include "shell/settings.h"

namespace tv {

struct BoxLines;
class PortKeeper;

class PageHost {
 public:
  // The window's two lines, the link on the programming line and the rule of
  // who may use them (box_lines.h, port_use.h).
  virtual BoxLines& lines() = 0;
  // A burn takes the programming port: the channel tabs are locked, the
  // poll timer stops reading the port and the progress bar starts at 0.
  virtual void lockTabsForBurn() = 0;
  // The end of a burn gives the register console back. The channel tabs
  // stay locked on purpose: the box was just rewritten, and the tables they
  // edit belong to the firmware that was there before.
  virtual void giveConsoleBack() = 0;
  virtual void showProgress(int percent) = 0;
  // The status line's own text (what a burn is doing, how it ended).
  virtual void showStatus(const FX::FXString& text) = 0;
  virtual void showPortLamp(bool open) = 0;
  // Code that talks to the box on the GUI thread pauses the poll timer for
  // the length of its exchange, so the timer does not eat the answer.
  virtual void pausePolling() = 0;
  virtual void resumePolling() = 0;
  virtual BurnDelays burnDelays() const = 0;
  virtual std::string programmingPortName() const = 0;
  // Why the line did not open, in the user's language; empty when it did.
  virtual FX::FXString whyProgrammingPortIsClosed() const = 0;
  virtual FX::FXString whyControlLineIsClosed() const = 0;
  // Keeps the window's lines open (the first box's is the programming line).
  virtual PortKeeper& portKeeper() = 0;
  // The programming line failed under a job: closed, lamp black, tried again.
  virtual void programmingLineLost() = 0;
  // Opens a file (a saved log) with the desktop's opener, without waiting;
  // an opener that is missing or fails is said with the file's place.
  virtual void openFile(const std::string& path) = 0;

 protected:
  ~PageHost() = default;
};

// The window a page is built in, as what the page may ask of it.
inline PageHost& page_host(FX::FXObject* window) { return dynamic_cast<PageHost&>(*window); }

}  // namespace tv
