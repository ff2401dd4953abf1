#include "shell/main_window.h"

#include <fcntl.h>
#include <fox-1.6/fxkeys.h>
#include <unistd.h>

#include <string>

#include "base/trace.h"
#include "channels/channel_pages.h"
#include "dbkit/FXMessageSeam.h"
#include "shell/box_row.h"
#include "shell/burn_page.h"
#include "shell/choices.h"
#include "shell/console_page.h"
#include "shell/desktop_open.h"
#include "shell/globals.h"
#include "shell/line_keeper.h"
#include "shell/port_keeper.h"
#include "shell/settings.h"
#include "shell/settings_page.h"
#include "shell/title_page.h"
#include "shell/ui_queue.h"
#include "shell/ui_queue_pump.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "text/catalogue.h"
#include "text/data_files.h"

using namespace FX;

namespace tv {

const char* const kAboutText = "HarnvaTVBox Version 1.44 \n\n";

// The application's tooltip window, if one was made already: the application
// owns it, and one is enough however often a window is built.
FXToolTip* application_tooltip(FXApp* app) {
  for (FXWindow* child = app->getRootWindow()->getFirst(); child; child = child->getNext()) {
    if (child->isMemberOf(FXMETACLASS(FXToolTip))) return static_cast<FXToolTip*>(child);
  }
  return nullptr;
}

std::string help_page_for(const char* language_file) {
  const std::string file = language_file ? language_file : "";
  const bool russian = file.size() >= 2 && (file.compare(file.size() - 2, 2, "ru") == 0 ||
                                            file.compare(file.size() - 2, 2, "r8") == 0);
  if (russian) {
    const std::string page = find_data_file("readme.ru.htm");
    if (!page.empty()) return page;
  }
  return find_data_file("readme.htm");
}

}  // namespace tv

using namespace tv;

// clang-format off
FXDEFMAP(X_SRV_K_Window) X_SRV_K_WindowMap[] = {
  FXMAPFUNC(SEL_COMMAND, ID_ABOUT,             X_SRV_K_Window::onCmdAbout),
  FXMAPFUNC(SEL_COMMAND, ID_HELP_DOC,          X_SRV_K_Window::onCmdHelpDoc),
  FXMAPFUNC(SEL_IO_READ, ID_HELP_OPENER,       X_SRV_K_Window::onHelpOpenerEnded),
  FXMAPFUNC(SEL_COMMAND, ID_CONTROL_QUERY,     X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_WRITE,     X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_WRITE_STR, X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_LINE_TEST,         X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_RAISE_RTS,         X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_SAVE_SETTINGS,     X_SRV_K_Window::onCmdSave),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_READ,      X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_CLEAR,     X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_RECORD,    X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_UPDATE,  ID_CONSOLE_RECORD,    X_SRV_K_Window::onUpdConsoleRecord),
  FXMAPFUNC(SEL_COMMAND, ID_CONSOLE_SAVE_OUTPUT, X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_TIMEOUT, ID_POLL_TIMER,        X_SRV_K_Window::onPollTimer),
  FXMAPFUNC(SEL_IO_READ, ID_PORT_INPUT,        X_SRV_K_Window::onPortInput),
  FXMAPFUNC(SEL_COMMAND, ID_OPEN_CHIPSET,      X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_BURN,              X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_RECALL,            X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_STOP_BURN,         X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_COMPARE,           X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_BACKUP,            X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_COMPARE,           X_SRV_K_Window::onUpdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_BACKUP,            X_SRV_K_Window::onUpdBurnPage),
  FXMAPFUNC(SEL_COMMAND, ID_RESUME_BURN,       X_SRV_K_Window::onCmdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_OPEN_CHIPSET,      X_SRV_K_Window::onUpdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_BURN,              X_SRV_K_Window::onUpdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_RECALL,            X_SRV_K_Window::onUpdBurnPage),
  FXMAPFUNC(SEL_UPDATE,  ID_CONTROL_QUERY,     X_SRV_K_Window::onUpdControlLine),
  FXMAPFUNC(SEL_UPDATE,  ID_LINE_TEST,         X_SRV_K_Window::onUpdControlLine),
  FXMAPFUNC(SEL_UPDATE,  ID_RAISE_RTS,         X_SRV_K_Window::onUpdControlLine),
  FXMAPFUNC(SEL_COMMAND, ID_ADD_BOX,           X_SRV_K_Window::onCmdAddBox),
  FXMAPFUNC(SEL_UPDATE,  ID_ADD_BOX,           X_SRV_K_Window::onUpdAddBox),
  FXMAPFUNC(SEL_IO_READ, ID_LOG_OPENER,        X_SRV_K_Window::onLogOpenerEnded),
  FXMAPFUNC(SEL_QUERY_HELP, ID_STOP_BURN,      X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_QUERY_HELP, ID_BURN,           X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_QUERY_HELP, ID_COMPARE,        X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_QUERY_HELP, ID_OPEN_CHIPSET,   X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_QUERY_HELP, ID_RESUME_BURN,    X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_QUERY_HELP, ID_RECALL,         X_SRV_K_Window::onQueryBurnHelp),
  FXMAPFUNC(SEL_COMMAND, ID_CHANNEL_UP,        X_SRV_K_Window::onCmdChannel),
  FXMAPFUNC(SEL_COMMAND, ID_CHANNEL_DOWN,      X_SRV_K_Window::onCmdChannel),
  FXMAPFUNC(SEL_COMMAND, ID_CHANNEL_SAVE_ALL,  X_SRV_K_Window::onCmdChannel),
  FXMAPFUNC(SEL_COMMAND, ID_BIT_TOGGLED,       X_SRV_K_Window::onCmdBitToggled),
  FXMAPFUNC(SEL_COMMAND, ID_SHOW_BITS,         X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_SHOW_BITS_AGAIN,   X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_COMMAND, ID_WI_WO_NI_NO,       X_SRV_K_Window::onCmdConsole),
  FXMAPFUNC(SEL_CLOSE,   0,                    X_SRV_K_Window::onCloseRequest),
  FXMAPFUNC(SEL_COMMAND, FXTopWindow::ID_CLOSE, X_SRV_K_Window::onCloseRequest),
};
// clang-format on

FXIMPLEMENT(X_SRV_K_Window, FXMainWindow, X_SRV_K_WindowMap, ARRAYNUMBER(X_SRV_K_WindowMap))

X_SRV_K_Window::X_SRV_K_Window() {}

X_SRV_K_Window::X_SRV_K_Window(FXApp* app, std::unique_ptr<BoxLines> lines)
    : FXMainWindow(app, FXString::null, nullptr, nullptr, DECOR_ALL, 130, 130, 500, 380),
      comPort(tv::SavedSettings().com_port.c_str()),
      language(kLanguageChoices[0]),
      lines_(lines ? std::move(lines) : std::unique_ptr<BoxLines>(new BoxLines)),
      icons_(new WindowIcons(app)) {
  setTitle(ui_text("m_Title"));
  setIcon(icons_->logo);
  setMiniIcon(icons_->logo);

  buildMenus();
  keepPorts();  // before the burn tab, whose first row's lamp is the keeper's
  auto* frame = new FXVerticalFrame(this, FRAME_RAISED | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildTabs(frame);
  new FXHorizontalSeparator(frame, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  buildStatusBar(frame);
  new FXHorizontalSeparator(this, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  burnPage_->setFirstPort(comPort.text());
  portIndicator->setTarget(&portKeeper_->programming());
  portIndicator->setSelector(LineKeeper::ID_LAMP);
  controlIndicator->setTarget(&portKeeper_->control());
  controlIndicator->setSelector(LineKeeper::ID_LAMP);

  toolTip_ = application_tooltip(app);
  if (!toolTip_) toolTip_ = new FXToolTip(app);
  installAccelerators();
  connectWorkerQueue();
  addPollTimer();
}

X_SRV_K_Window::~X_SRV_K_Window() {
  // A burn worker still running reports to widgets that are about to go: it is
  // stopped and joined, and its last reports drained, while they still exist.
  // Its end re-arms the poll timer, so the timer is removed after that.
  stopWorkers();
  disconnectWorkerQueue();
  // Closing the window deletes it before shutdown runs: shutdown must not
  // find it again.
  if (main_window == this) main_window = nullptr;
  removePollTimer();
  stopWatchingHelpOpener();
  portIndicator->setTarget(nullptr);  // the keeper goes before the button
  controlIndicator->setTarget(nullptr);
  if (logOpener_) getApp()->removeInput(logOpener_->endFd(), INPUT_READ);
  delete menuPane;
  delete helpPane;
}

void X_SRV_K_Window::create() {
  FXMainWindow::create();
  toolTip_->create();
  show();
}

void X_SRV_K_Window::buildMenus() {
  menuBar = new FXMenuBar(this, LAYOUT_SIDE_TOP | LAYOUT_FILL_X);
  menuPane = new FXMenuPane(this);
  new FXMenuTitle(menuBar, ui_text("m_menu"), icons_->menu, menuPane);
  new FXMenuCommand(menuPane, ui_text_or("m_backup", "&Back up the box..."), nullptr, this, ID_BACKUP);
  new FXMenuCommand(
      menuPane,
      ui_text_or("m_add_box", "&Add a box...\t\tAdds a row to the burn tab for a box on another serial port"),
      nullptr, this, ID_ADD_BOX);
  new FXMenuSeparator(menuPane);
  new FXMenuCheck(
      menuPane,
      ui_text_or("m_record", "&Record the console\t\tRecords every packet and byte of the console in a file"),
      this, ID_CONSOLE_RECORD);
  new FXMenuCommand(menuPane, ui_text_or("m_save_output", "&Save console output..."), nullptr, this,
                    ID_CONSOLE_SAVE_OUTPUT);
  new FXMenuSeparator(menuPane);
  // Quit closes the window like its close box, so a running burn is
  // confirmed and cancelled first; closing the main window ends the program.
  new FXMenuCommand(menuPane, ui_text("m_quit"), icons_->exit, this, FXTopWindow::ID_CLOSE);

  helpPane = new FXMenuPane(this);
  new FXMenuTitle(menuBar, ui_text("m_help"), icons_->help, helpPane, LAYOUT_RIGHT);
  new FXMenuCommand(helpPane, ui_text("m_doc"), icons_->document, this, ID_HELP_DOC);
  new FXMenuCommand(helpPane, ui_text("m_about"), icons_->about, this, ID_ABOUT);
}

void X_SRV_K_Window::buildStatusBar(FXComposite* frame) {
  statusBar = new FXStatusBar(frame, LAYOUT_SIDE_BOTTOM | LAYOUT_FILL_X | STATUSBAR_WITH_DRAGCORNER);
  progressBar = new FXProgressBar(statusBar, nullptr, 0,
                                  PROGRESSBAR_HORIZONTAL | PROGRESSBAR_PERCENTAGE | FRAME_SUNKEN |
                                      FRAME_THICK | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  progressBar->setTotal(100);
  statusBar->getStatusLine()->setNormalText(ui_text_or("m_ready", "Ready."));
  portIndicator = new FXButton(statusBar, ui_text("comm_sw"), icons_->lampBlack, nullptr, 0,
                               BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_CENTER_Y);
  setPortLamp(false);  // its help follows the lamp's colour from the start
  controlIndicator =
      new FXButton(statusBar, FXString::null, icons_->lampBlack, nullptr, 0, BUTTON_NORMAL | LAYOUT_CENTER_Y);
  setControlLamp(false);
  logoButton = new FXButton(statusBar, FXString::null, icons_->logo, nullptr, 0,
                            BUTTON_NORMAL | LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  logoButton->setTipText(getTitle());
}

FXComposite* X_SRV_K_Window::addTab(FXTabItem*& item, const FXString& label, FXIcon* icon) {
  item = new FXTabItem(tabBook, label, icon, TAB_TOP_NORMAL | ICON_BEFORE_TEXT | FRAME_RAISED | FRAME_THICK);
  return new FXPacker(tabBook, FRAME_RAISED | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_Y);
}

void X_SRV_K_Window::buildTabs(FXComposite* frame) {
  tabBook = new FXTabBook(
      frame, nullptr, 0,
      TABBOOK_TOPTABS | PACK_UNIFORM_WIDTH | PACK_UNIFORM_HEIGHT | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  titlePage_.reset(new TitlePage(addTab(titleTab, "TV Box", icons_->logo), *icons_));
  burnPage_.reset(new BurnPage(addTab(burnTab, ui_text("hv_load"), icons_->burn), this, *icons_));

  FXComposite* tvPane = addTab(channelsTab, ui_text("hv_channels"), icons_->channels);
  FXComposite* radioPane = addTab(radioTab, "FM Radio", icons_->radio);
  channelPages_.reset(
      new ChannelPages(build_channel_pages(tvPane, radioPane, this, icons_->logoPicture, icons_->check)));
  channelsTab->disable();
  radioTab->disable();

  consolePage_.reset(
      new ConsolePage(addTab(consoleTab, ui_text("hv_actions"), icons_->console), this, *icons_));

  settingsPage_.reset(new SettingsPage(addTab(settingsTab, ui_text("hv_settings"), icons_->settings), this,
                                       *icons_, SettingsValues{comPort, language, flashDelay, sysfontDelay}));
}

void X_SRV_K_Window::installAccelerators() {
  FXAccelTable* table = getAccelTable();
  if (!table) return;
  table->addAccel(parseAccel("Ctl+W"), this, FXSEL(SEL_COMMAND, ID_CONSOLE_WRITE));
  table->addAccel(parseAccel("Ctl+R"), this, FXSEL(SEL_COMMAND, ID_CONSOLE_READ));
  table->addAccel(MKUINT(KEY_Escape, 0), this, FXSEL(SEL_COMMAND, ID_STOP_BURN));
}

// The lamp tries the programming port at once when clicked; the keeper
// tells the window what to show.
void X_SRV_K_Window::keepPorts() {
  PortKeeper::Display display;
  display.lamp = [this](bool open) { setPortLamp(open); };
  display.tell = [this](const FXString& text) { showPortProblem(text); };
  display.controlLamp = [this](bool open) { setControlLamp(open); };
  display.tellControl = [this](const FXString& text) {
    if (controlIndicator) controlIndicator->setTipText(wrapped(text));
  };
  portKeeper_.reset(new PortKeeper(getApp(), *lines_, comPort.text(), display));
}

std::string X_SRV_K_Window::programmingPortName() const { return portKeeper_->programmingName(); }
FXString X_SRV_K_Window::whyProgrammingPortIsClosed() const { return portKeeper_->programmingProblem(); }
FXString X_SRV_K_Window::whyControlLineIsClosed() const { return portKeeper_->controlProblem(); }

void X_SRV_K_Window::connectWorkerQueue() { queuePump_.reset(new UiQueuePump(getApp())); }

void X_SRV_K_Window::disconnectWorkerQueue() {
  ui_queue().drain();  // what workers reported still finds its widgets here
  queuePump_.reset();
}

void X_SRV_K_Window::hideStartupTabs(bool show_console) {
  for (FXTabItem* tab : {channelsTab, radioTab}) {
    tab->hide();
    tab->getNext()->hide();
  }
  if (show_console) {
    consoleTab->show();
    consoleTab->getNext()->show();
  } else {
    consoleTab->hide();
    consoleTab->getNext()->hide();
  }
  FXWindow* current = tabBook->childAtIndex(2 * tabBook->getCurrent());
  if (current && !current->shown()) tabBook->setCurrent(0);
  tabBook->recalc();
}

void X_SRV_K_Window::setPortLamp(bool open) {
  FXIcon* lamp = open ? icons_->lampGreen : icons_->lampBlack;
  // The green lamp belongs to no widget when the window is created, so it
  // must be made here before the indicator draws it; start-up and a reopen
  // may change the lamp before the indicator itself has been created.
  if (getApp()->isInitialized()) lamp->create();
  portIndicator->setIcon(lamp);
  if (burnPage_) burnPage_->firstRow().showLamp(open);  // the first box's row has the same lamp
  // The help in the status line tells what the lamp's colour means now; the
  // tip of a black lamp is the reason, which showPortProblem gives it.
  const FXString caption = ui_text("comm_sw");
  portIndicator->setHelpText(open ? caption.section('\t', 2)
                                  : ui_text_or("m_lamp_black", "Black: the programming port is closed"));
  if (open) portIndicator->setTipText(caption.section('\t', 1));  // no problem of the line to tell
}

void X_SRV_K_Window::setControlLamp(bool open) {
  FXIcon* lamp = open ? icons_->lampGreen : icons_->lampBlack;
  if (getApp()->isInitialized()) lamp->create();
  controlIndicator->setIcon(lamp);
  controlIndicator->setHelpText(open ? ui_text_or("m_ctrl_lamp_green", "Green: the control line is open")
                                     : ui_text_or("m_ctrl_lamp_black", "Black: the control line is closed"));
  if (open) controlIndicator->setTipText(ui_text_or("m_ctrl_lamp", "The control line"));
}

void X_SRV_K_Window::setBoxPorts(const std::vector<std::string>& ports) {
  if (ports.empty()) return;
  comPort = ports.front().c_str();
  portKeeper_->programming().setName(ports.front());
  burnPage_->setFirstPort(ports.front());
  for (size_t i = 1; i < ports.size(); ++i) burnPage_->addBox(ports[i], nullptr, false);
}

void X_SRV_K_Window::addPollTimer() {
  getApp()->addTimeout(this, ID_POLL_TIMER, kPollIntervalMs);
  watchPort(true);
}

void X_SRV_K_Window::removePollTimer() {
  getApp()->removeTimeout(this, ID_POLL_TIMER);
  watchPort(false);
}

// The event loop wakes the window when the programming port has bytes,
// instead of the window asking it a hundred times a second. It watches a
// duplicate of the port's descriptor: FOX ends the program when a watched
// descriptor is closed under it, and the port may be closed at any time
// (a line that hung up, shutdown); the next tick then drops the watch.
void X_SRV_K_Window::watchPort(bool on) {
  SerialPort& port = lines_->programming;
  const bool wanted = on && port.is_open() && lines_->use.consoleMayTalk();
  if (wanted && watchedFd_ >= 0 && watchedPortFd_ == port.fd() && watchedPath_ == port.path()) return;
  if (!wanted && watchedFd_ < 0) return;
  if (watchedFd_ >= 0) {
    getApp()->removeInput(watchedFd_, INPUT_READ);
    ::close(watchedFd_);
    watchedFd_ = -1;
  }
  if (!wanted) return;
  watchedFd_ = fcntl(port.fd(), F_DUPFD_CLOEXEC, 0);
  if (watchedFd_ < 0) return;  // the 100 ms tick still reads the port
  watchedPortFd_ = port.fd();
  watchedPath_ = port.path();
  getApp()->addInput(watchedFd_, INPUT_READ, this, ID_PORT_INPUT);
}

// The status line cuts a long reason at the window's width; the port lamp's
// tool tip keeps it whole.
void X_SRV_K_Window::showPortProblem(const FXString& text) {
  trace("%s\n", text.text());
  if (statusBar) statusBar->getStatusLine()->setNormalText(text);
  if (portIndicator) portIndicator->setTipText(wrapped(text));
}

void X_SRV_K_Window::programmingLineLost() {
  watchPort(false);
  portKeeper_->programmingLineLost();
}

// True when a widget changed. A line that failed is closed here once, so that
// it is not read again on every wake-up.
bool X_SRV_K_Window::pollPortAndReport() {
  switch (consolePage_->pollPort()) {
    case ConsolePage::Poll::Nothing: return false;
    case ConsolePage::Poll::Shown: return true;
    case ConsolePage::Poll::LineLost: programmingLineLost(); return true;
  }
  return false;
}

bool X_SRV_K_Window::pollTimerArmed() const {
  return getApp()->hasTimeout(const_cast<X_SRV_K_Window*>(this), ID_POLL_TIMER);
}

long X_SRV_K_Window::onCmdAbout(FXObject*, FXSelector, void*) {
  // The language files break this caption in two with "~"; a title bar has
  // one line, so the break becomes a blank.
  FXString caption = ui_text("m_about_f");
  caption.substitute('\n', ' ');
  caption.substitute('\r', ' ');
  show_message(this, MessageKind::Information, MBOX_OK, caption, kAboutText);
  return 1;
}

// The help page is found like every data file (working folder, then the
// installed data folder), in the program's language. Without it there is
// nothing to show; without an opener, or with one that fails, the user would
// see nothing happen, so that is said with the page's place. The opener is
// not waited for: the event loop hears when it ends.
long X_SRV_K_Window::onCmdHelpDoc(FXObject*, FXSelector, void*) {
  const std::string page = help_page_for(_r_fn);
  if (page.empty()) return 1;
  const FXString where = FXPath::absolute(FXString(page.c_str()));
  if (!desktop_opener_installed()) {
    show_message(this, MessageKind::Error, MBOX_OK, ui_text("m_noopen_f"),
                 ui_text("m_noopen") + "\n\n" + where);
    return 1;
  }
  stopWatchingHelpOpener();
  helpOpener_.reset(new DesktopOpener);
  if (!helpOpener_->start(page.c_str())) return 1;
  helpPage_ = where.text();
  getApp()->addInput(helpOpener_->endFd(), INPUT_READ, this, ID_HELP_OPENER);
  return 1;
}

long X_SRV_K_Window::onHelpOpenerEnded(FXObject*, FXSelector, void*) {
  if (!helpOpener_) return 0;
  getApp()->removeInput(helpOpener_->endFd(), INPUT_READ);
  const bool opened = helpOpener_->finish();
  helpOpener_.reset();
  if (!opened)
    show_message(
        this, MessageKind::Error, MBOX_OK, ui_text("m_noopen_f"),
        ui_text_or("m_help_failed", "The help page could not be opened.\nOpen this file in a web browser:") +
            "\n\n" + FXString(helpPage_.c_str()));
  return 1;
}

void X_SRV_K_Window::stopWatchingHelpOpener() {
  if (!helpOpener_) return;
  getApp()->removeInput(helpOpener_->endFd(), INPUT_READ);
  helpOpener_.reset();
}

// The Record box and the menu's check follow the record, whichever turned it.
long X_SRV_K_Window::onUpdConsoleRecord(FXObject* sender, FXSelector, void*) {
  const bool on = consolePage_ && consolePage_->recording();
  sender->handle(this, FXSEL(SEL_COMMAND, on ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

long X_SRV_K_Window::onCmdConsole(FXObject*, FXSelector sel, void*) {
  ConsolePage& page = *consolePage_;
  switch (FXSELID(sel)) {
    // The keys ctrl-W and ctrl-R reach the window from every tab; with the
    // console hidden they must not write to or read from the box unseen.
    case ID_CONSOLE_WRITE: return consoleTab->shown() ? page.onWrite() : 1;
    case ID_CONSOLE_READ: return consoleTab->shown() ? page.onRead() : 1;
    case ID_CONSOLE_WRITE_STR: return page.onWriteStr();
    case ID_WI_WO_NI_NO: return page.onWiWoNiNo();
    case ID_CONSOLE_CLEAR: return page.onClear();
    case ID_CONSOLE_RECORD: return page.onToggleRecord();
    case ID_CONSOLE_SAVE_OUTPUT: return page.onSaveOutput();
    case ID_SHOW_BITS:
    case ID_SHOW_BITS_AGAIN: return page.onShowBits();
    case ID_CONTROL_QUERY: return page.onControlQuery();
    case ID_LINE_TEST: return page.onLineTest();
    case ID_RAISE_RTS: return page.onRaiseRts();
  }
  return 1;
}

// The settings values and the window's current geometry, into the registry
// of the window's application. False when the registry file was not written.
bool X_SRV_K_Window::saveSettings() {
  SavedSettings settings;
  settings.language = language.text();
  settings.com_port = comPort.text();
  settings.box_ports = burnPage_->boxPorts();
  if (!settings.box_ports.empty()) settings.box_ports.front() = settings.com_port;
  settings.delays.flash = flashDelay;
  settings.delays.sysfont = sysfontDelay;
  settings.verify = burnPage_->verify != FALSE;
  settings.geometry.w = getWidth();
  settings.geometry.h = getHeight();
  settings.geometry.x = getX();
  settings.geometry.y = getY();
  return save_settings(getApp()->reg(), settings);
}

long X_SRV_K_Window::onCmdSave(FXObject*, FXSelector, void*) {
  // A full disk or a read-only home must not pass for a successful save.
  if (!saveSettings()) {
    show_message(this, MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_save_failed", "The settings could not be written to the registry file."));
  }
  // A changed port takes effect now, unless the first box is running.
  burnPage_->setFirstPort(comPort.text());
  portKeeper_->apply(comPort.text());
  return 1;
}

// Runs for the whole run, as the port watch does. A handler that says
// "handled" makes FOX run its update pass over every widget afterwards, which
// at a tick every 10 ms kept a core busy doing nothing; so both say so only
// when a widget changed.
long X_SRV_K_Window::onPollTimer(FXObject*, FXSelector, void*) {
  addPollTimer();  // also watches a port opened since the last tick
  const bool shown = pollPortAndReport();
  const bool boxed = burnPage_->checkBurnCompleted();
  return shown || boxed ? 1 : 0;
}

long X_SRV_K_Window::onPortInput(FXObject*, FXSelector, void*) {
  watchPort(true);  // a port closed or changed since is not watched on
  return pollPortAndReport() ? 1 : 0;
}

// Lopsided on purpose, so pushed here rather than asked for on each update:
// a burn disables the channel tabs and nothing enables them again (their pages
// are hidden in every build the engineers get), while the end of a burn gives
// the console tab back (giveConsoleBack), although nothing ever disabled it.
void X_SRV_K_Window::lockTabsForBurn() {
  channelsTab->disable();
  radioTab->disable();
  removePollTimer();
  progressBar->setProgress(0);
}

void X_SRV_K_Window::giveConsoleBack() { consoleTab->enable(); }

void X_SRV_K_Window::showProgress(int percent) { progressBar->setProgress(percent); }

// Shown at once, not at the next update pass: while boxes burn, the workers'
// reports may keep the event loop from ever being idle.
void X_SRV_K_Window::showStatus(const FXString& text) {
  FXStatusLine* line = statusBar->getStatusLine();
  line->setNormalText(text);
  line->setText(text);
}

long X_SRV_K_Window::onCmdBurnPage(FXObject*, FXSelector sel, void*) {
  switch (FXSELID(sel)) {
    case ID_OPEN_CHIPSET: return burnPage_->onOpen();
    case ID_BURN: return burnPage_->onBurn();
    case ID_RECALL: return burnPage_->onRecall();
    case ID_STOP_BURN: return burnPage_->onStop();
    case ID_COMPARE: return burnPage_->onCompare();
    case ID_BACKUP: return burnPage_->onBackup();
    case ID_RESUME_BURN: return burnPage_->onResume();
  }
  return 1;
}

// The burn tab's buttons ask, on each GUI update, whether they may be used;
// the pages answer from their own state (the load, the running job).
long X_SRV_K_Window::onUpdBurnPage(FXObject* sender, FXSelector sel, void*) {
  switch (FXSELID(sel)) {
    case ID_OPEN_CHIPSET:
      // The file field and the Verify box have targets of their own that keep
      // their values; they follow the open button, as all three set up the
      // next burn and none may change while one runs.
      set_enabled(sender, burnPage_->mayOpen());
      set_enabled(burnPage_->fileField, burnPage_->mayOpen());
      set_enabled(burnPage_->verifyCheck, burnPage_->mayOpen());
      return 1;
    case ID_BURN: set_enabled(sender, burnPage_->mayBurn()); return 1;
    case ID_RECALL: set_enabled(sender, burnPage_->mayRecall()); return 1;
    case ID_COMPARE: set_enabled(sender, burnPage_->mayCompare()); return 1;
    case ID_BACKUP: set_enabled(sender, burnPage_->mayBackUp()); return 1;
  }
  return 0;
}

long X_SRV_K_Window::onUpdControlLine(FXObject* sender, FXSelector, void*) {
  set_enabled(sender, !consolePage_->controlExchangeRunning());
  return 1;
}

bool X_SRV_K_Window::mayClose() {
  if (!burnPage_ || !burnPage_->burnRunning()) return true;
  // A compare or a backup only reads the box: it is stopped without asking,
  // and a backup cut short leaves no file.
  if (!burnPage_->burnWriting()) {
    burnPage_->cancelAndJoinBurn();
    return true;
  }
  const FXuint answer = show_message(this, MessageKind::Question, MBOX_YES_NO, "Burning...",
                                     ui_text_or("m_close_burning",
                                                "A burn is running. Closing now stops it and leaves the box "
                                                "half-written.\n\nClose anyway?"));
  if (answer != MBOX_CLICKED_YES) return false;
  burnPage_->cancelAndJoinBurn();
  return true;
}

void X_SRV_K_Window::stopWorkers() {
  if (burnPage_) burnPage_->cancelAndJoinBurn();
  if (consolePage_) consolePage_->stopWorkers();
}

long X_SRV_K_Window::onCloseRequest(FXObject* sender, FXSelector sel, void* ptr) {
  if (!mayClose()) return 1;
  return FXMainWindow::onCmdClose(sender, sel, ptr);
}

long X_SRV_K_Window::onCmdChannel(FXObject* sender, FXSelector sel, void*) {
  switch (FXSELID(sel)) {
    case ID_CHANNEL_UP: on_channel_up(sender); break;
    case ID_CHANNEL_DOWN: on_channel_down(sender); break;
    case ID_CHANNEL_SAVE_ALL: on_channel_save_all(this); break;
  }
  return 1;
}

long X_SRV_K_Window::onCmdBitToggled(FXObject* sender, FXSelector, void*) {
  if (!sender || !sender->isMemberOf(FXMETACLASS(FXWindow))) return 1;
  const auto position = reinterpret_cast<FXival>(static_cast<FXWindow*>(sender)->getUserData());
  return consolePage_->onBitToggled(static_cast<int>(position));
}

// Add a box: a port from the settings page's list (the machine's lines and
// com1..com7). One that already has a row, or that does not open (another
// program holds it, or it is not there), is refused with the reason.
long X_SRV_K_Window::onCmdAddBox(FXObject*, FXSelector, void*) {
  settingsPage_->refreshPortList();
  FXString entries;
  for (FXint i = 0; i < settingsPage_->comCombo->getNumItems(); ++i)
    entries += (i ? "\n" : "") + settingsPage_->comCombo->getItem(i);
  const FXint chosen =
      FXChoiceBox::ask(this, DECOR_TITLE | DECOR_BORDER, ui_text_or("m_add_box_cap", "Add a box"),
                       ui_text_or("m_add_box_text", "The port of the new box:"), nullptr, entries);
  if (chosen < 0) return 1;
  const std::string port = settingsPage_->portNameFor(settingsPage_->comCombo->getItem(chosen).text());
  FXString why;
  if (!burnPage_->addBox(port, &why))
    show_message(this, MessageKind::Error, MBOX_OK, "Error",
                 ui_text_or("m_box_refused", "This port cannot take a box:") + "\n" + why);
  return 1;
}

long X_SRV_K_Window::onUpdAddBox(FXObject* sender, FXSelector, void*) {
  set_enabled(sender, burnTab->shown());
  return 1;
}

// The burn tab's progress is never hidden by a help text: while a job runs,
// the buttons under the pointer leave the status line to it.
long X_SRV_K_Window::onQueryBurnHelp(FXObject*, FXSelector, void*) {
  if (!burnPage_ || !burnPage_->burnRunning()) return 0;
  FXStatusLine* line = statusBar->getStatusLine();
  line->setText(line->getNormalText());
  return 1;
}

// Like the help page: the opener is not waited for, and one that is missing
// or fails is said with the file's place.
void X_SRV_K_Window::openFile(const std::string& path) {
  const FXString where = FXPath::absolute(FXString(path.c_str()));
  if (!desktop_opener_installed()) {
    show_message(this, MessageKind::Error, MBOX_OK, ui_text("m_noopen_f"),
                 ui_text("m_noopen") + "\n\n" + where);
    return;
  }
  if (logOpener_) getApp()->removeInput(logOpener_->endFd(), INPUT_READ);
  logOpener_.reset(new DesktopOpener);
  if (!logOpener_->start(path.c_str())) {
    logOpener_.reset();
    return;
  }
  logFile_ = where.text();
  getApp()->addInput(logOpener_->endFd(), INPUT_READ, this, ID_LOG_OPENER);
}

long X_SRV_K_Window::onLogOpenerEnded(FXObject*, FXSelector, void*) {
  if (!logOpener_) return 0;
  getApp()->removeInput(logOpener_->endFd(), INPUT_READ);
  const bool opened = logOpener_->finish();
  logOpener_.reset();
  if (!opened)
    show_message(
        this, MessageKind::Error, MBOX_OK, ui_text("m_noopen_f"),
        ui_text_or("m_log_open_failed", "The log could not be opened.\nOpen this file in a text editor:") +
            "\n\n" + FXString(logFile_.c_str()));
  return 1;
}
