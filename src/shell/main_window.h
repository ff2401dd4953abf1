// The program's only top-level window and the target of every command.
//
// It owns every widget and every editable value; each tab is built by its own
// page class. Commands arrive as the numbered IDs of window_ids.h and are
// passed to the page that owns them.
#pragma once

#include <fox-1.6/fx.h>

#include <memory>
#include <string>
#include <vector>

#include "shell/box_lines.h"
#include "shell/page_host.h"
#include "shell/settings.h"

namespace tv {
class PortKeeper;
struct WindowIcons;
class TitlePage;
class BurnPage;
class ConsolePage;
class SettingsPage;
struct ChannelPages;
class UiQueuePump;
class DesktopOpener;
}  // namespace tv

class X_SRV_K_Window : public FX::FXMainWindow, public tv::PageHost {
  FXDECLARE(X_SRV_K_Window)

 protected:
  X_SRV_K_Window();

 public:
  // The window owns its lines to the box: those start-up opened, or new
  // closed ones.
  explicit X_SRV_K_Window(FX::FXApp* app, std::unique_ptr<tv::BoxLines> lines = nullptr);
  virtual ~X_SRV_K_Window();
  virtual void create();

  // Settings values, each bound to its settings-page widget by a data target.
  FX::FXString comPort;   // e.g. "com3", "/dev/ttyUSB0"
  FX::FXString language;  // "ENGLISH en" until start-up sets it
  FX::FXint flashDelay = tv::BurnDelays().flash;
  FX::FXint sysfontDelay = tv::BurnDelays().sysfont;

  // Start-up hooks.
  void hideStartupTabs(bool show_console);  // channels and FM Radio always hidden
  void setPortLamp(bool open);              // black lamp / green lamp
  void setControlLamp(bool open);           // the control line's lamp
  // The burn station's boxes from the settings, the first box's port first:
  // each port is named once here, and opened once by openPorts().
  void setBoxPorts(const std::vector<std::string>& ports);

  // The port poll timer (ID 72) and the watch on the programming port,
  // removed together while something else talks to the box.
  // GUI thread only: a worker posts these through the UI queue.
  void addPollTimer();
  void removePollTimer();
  bool pollTimerArmed() const;
  bool portWatched() const { return watchedFd_ >= 0; }

  // What is to be said about a line (why it is closed, that it opened): in
  // the status bar, the lamp's tip and the trace.
  void showPortProblem(const FX::FXString& text);
  // The programming line hung up: closed, lamp black, said once, tried again.
  void programmingLineLost() override;
  // Keeps the lines open: start-up, Save, the lamp and the retries use it.
  tv::PortKeeper& ports() { return *portKeeper_; }
  tv::PortKeeper& portKeeper() override { return *portKeeper_; }
  void openFile(const std::string& path) override;

  // What the pages may ask of the window (see page_host.h).
  tv::BoxLines& lines() override { return *lines_; }
  void lockTabsForBurn() override;
  void giveConsoleBack() override;
  void showProgress(int percent) override;
  void showStatus(const FX::FXString& text) override;
  void showPortLamp(bool open) override { setPortLamp(open); }
  void pausePolling() override { removePollTimer(); }
  void resumePolling() override { addPollTimer(); }
  tv::BurnDelays burnDelays() const override { return {flashDelay, sysfontDelay}; }
  std::string programmingPortName() const override;
  FX::FXString whyProgrammingPortIsClosed() const override;
  FX::FXString whyControlLineIsClosed() const override;

  // Frame widgets.
  FX::FXMenuBar* menuBar = nullptr;
  FX::FXMenuPane* menuPane = nullptr;  // m_menu; deleted by the window
  FX::FXMenuPane* helpPane = nullptr;  // m_help; deleted by the window
  FX::FXStatusBar* statusBar = nullptr;
  FX::FXProgressBar* progressBar = nullptr;  // the burn's progress, in percent
  FX::FXButton* portIndicator = nullptr;     // comm_sw with a black or green lamp
  FX::FXButton* controlIndicator = nullptr;  // the control line's lamp; its tip says why it is closed
  FX::FXButton* logoButton = nullptr;        // tooltip: the window title

  // The tabs, in order: title, burn, channels, FM Radio, console, settings.
  FX::FXTabBook* tabBook = nullptr;
  FX::FXTabItem* titleTab = nullptr;
  FX::FXTabItem* burnTab = nullptr;
  FX::FXTabItem* channelsTab = nullptr;
  FX::FXTabItem* radioTab = nullptr;
  FX::FXTabItem* consoleTab = nullptr;
  FX::FXTabItem* settingsTab = nullptr;

  // The pages behind the tabs.
  tv::BurnPage& burn() { return *burnPage_; }
  tv::ConsolePage& console() { return *consolePage_; }
  tv::SettingsPage& settings() { return *settingsPage_; }
  tv::TitlePage& title() { return *titlePage_; }
  tv::ChannelPages& channels() { return *channelPages_; }
  tv::WindowIcons& icons() { return *icons_; }

  // Command handlers, in the order of the message map.
  long onCmdAbout(FX::FXObject*, FX::FXSelector, void*);
  long onCmdHelpDoc(FX::FXObject*, FX::FXSelector, void*);
  long onHelpOpenerEnded(FX::FXObject*, FX::FXSelector, void*);
  long onCmdConsole(FX::FXObject*, FX::FXSelector, void*);
  long onUpdConsoleRecord(FX::FXObject*, FX::FXSelector, void*);
  long onCmdSave(FX::FXObject*, FX::FXSelector, void*);
  long onPollTimer(FX::FXObject*, FX::FXSelector, void*);
  long onPortInput(FX::FXObject*, FX::FXSelector, void*);
  long onCmdBurnPage(FX::FXObject*, FX::FXSelector, void*);
  long onUpdBurnPage(FX::FXObject*, FX::FXSelector, void*);
  long onUpdControlLine(FX::FXObject*, FX::FXSelector, void*);
  long onCmdChannel(FX::FXObject*, FX::FXSelector, void*);
  long onCmdBitToggled(FX::FXObject*, FX::FXSelector, void*);
  long onCloseRequest(FX::FXObject*, FX::FXSelector, void*);
  long onCmdAddBox(FX::FXObject*, FX::FXSelector, void*);
  long onUpdAddBox(FX::FXObject*, FX::FXSelector, void*);
  long onLogOpenerEnded(FX::FXObject*, FX::FXSelector, void*);
  long onQueryBurnHelp(FX::FXObject*, FX::FXSelector, void*);

  // Asked before the window closes: while a burn runs, the user confirms, and
  // the burn is then cancelled and its worker joined. False: keep the window.
  bool mayClose();

  // Cancels and joins every worker (a burn, a control-line exchange), so that
  // nothing talks to the box any more. Shutdown calls it before closing the
  // ports; the destructor calls it again, harmlessly.
  void stopWorkers();

 private:
  void buildMenus();
  void buildStatusBar(FX::FXComposite* frame);
  void buildTabs(FX::FXComposite* frame);
  FX::FXComposite* addTab(FX::FXTabItem*& item, const FX::FXString& label, FX::FXIcon* icon);
  void installAccelerators();
  void keepPorts();
  bool saveSettings();
  void connectWorkerQueue();
  void disconnectWorkerQueue();
  void watchPort(bool on);
  bool pollPortAndReport();
  void stopWatchingHelpOpener();

  std::unique_ptr<tv::BoxLines> lines_;  // first in, last out: the pages use it to the end
  std::unique_ptr<tv::PortKeeper> portKeeper_;
  std::unique_ptr<tv::WindowIcons> icons_;
  std::unique_ptr<tv::TitlePage> titlePage_;
  std::unique_ptr<tv::BurnPage> burnPage_;
  std::unique_ptr<tv::ConsolePage> consolePage_;
  std::unique_ptr<tv::SettingsPage> settingsPage_;
  std::unique_ptr<tv::ChannelPages> channelPages_;
  std::unique_ptr<tv::UiQueuePump> queuePump_;
  FX::FXToolTip* toolTip_ = nullptr;  // the application's; not deleted here
  int watchedFd_ = -1;                // the event loop's duplicate of the programming port
  int watchedPortFd_ = -1;            // the port's own descriptor and path it was made from
  std::string watchedPath_;
  std::unique_ptr<tv::DesktopOpener> helpOpener_;  // the opener showing the help page, while it runs
  std::string helpPage_;                           // the page it was given
  std::unique_ptr<tv::DesktopOpener> logOpener_;   // the opener showing a box's saved log
  std::string logFile_;
};

namespace tv {

// The help page in the language of the language file `language_file`
// ("lang.ru" and "lang.r8" are Russian), as found among the data files;
// the English page when there is no page of that language, and an empty
// text when there is none at all.
std::string help_page_for(const char* language_file);

// The tooltip window of the application, or null before the first window.
FX::FXToolTip* application_tooltip(FX::FXApp* app);

// The about box's text.
extern const char* const kAboutText;

}  // namespace tv
