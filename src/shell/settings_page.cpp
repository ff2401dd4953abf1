#include "shell/settings_page.h"

#include "burn/burn_sequence.h"
#include "shell/choices.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

// Stands between the COM combo box and its data target, so that choosing
// "/dev/ttyUSB0  (FTDI ...)" stores the port name alone; and listens to the
// tab book, passing its notices on to whoever listened before.
class SettingsPageEvents : public FXObject {
  FXDECLARE(SettingsPageEvents)

 public:
  enum { ID_PORT = 1, ID_TAB };

  explicit SettingsPageEvents(SettingsPage* page) : page_(page) {}

  long onPortCommand(FXObject*, FXSelector, void*);
  long onPortOther(FXObject*, FXSelector, void*);
  long onTabChanged(FXObject*, FXSelector, void*);

  FXObject* bookTarget = nullptr;  // the tab book's target before the page took it
  FXSelector bookMessage = 0;

 private:
  SettingsPageEvents() {}
  long toDataTarget(FXObject* sender, FXSelector sel, void* ptr);

  SettingsPage* page_ = nullptr;
};

// clang-format off
FXDEFMAP(SettingsPageEvents) SettingsPageEventsMap[] = {
  FXMAPFUNC(SEL_COMMAND, SettingsPageEvents::ID_PORT, SettingsPageEvents::onPortCommand),
  FXMAPFUNC(SEL_CHANGED, SettingsPageEvents::ID_PORT, SettingsPageEvents::onPortOther),
  FXMAPFUNC(SEL_UPDATE,  SettingsPageEvents::ID_PORT, SettingsPageEvents::onPortOther),
  FXMAPFUNC(SEL_COMMAND, SettingsPageEvents::ID_TAB,  SettingsPageEvents::onTabChanged),
};
// clang-format on
FXIMPLEMENT(SettingsPageEvents, FXObject, SettingsPageEventsMap, ARRAYNUMBER(SettingsPageEventsMap))

long SettingsPageEvents::toDataTarget(FXObject* sender, FXSelector sel, void* ptr) {
  return page_->comTarget_.handle(sender, FXSEL(FXSELTYPE(sel), FXDataTarget::ID_VALUE), ptr);
}

long SettingsPageEvents::onPortCommand(FXObject* sender, FXSelector sel, void* ptr) {
  FXComboBox* combo = page_->comCombo;
  const std::string shown = combo->getText().text();
  const std::string name = page_->portNameFor(shown);
  if (name != shown) combo->setText(name.c_str());
  return toDataTarget(sender, sel, ptr);
}

long SettingsPageEvents::onPortOther(FXObject* sender, FXSelector sel, void* ptr) {
  return toDataTarget(sender, sel, ptr);
}

long SettingsPageEvents::onTabChanged(FXObject* sender, FXSelector sel, void* ptr) {
  if (static_cast<FXint>(reinterpret_cast<FXival>(ptr)) == page_->tabIndex_) page_->refreshPortList();
  if (!bookTarget) return 1;
  return bookTarget->tryHandle(sender, FXSEL(FXSELTYPE(sel), bookMessage), ptr);
}

namespace {

// What the line's USB adapter adds to its entry: the driver and the latency
// timer, which tells an operator which adapter will slow a burn.
std::string adapter_details(const AdapterInfo& adapter) {
  std::string details = adapter.driver;
  if (adapter.latency_timer_ms >= 0) {
    std::string timer = ui_text_or("m_latency_timer", "latency timer {} ms").text();
    const size_t mark = timer.find("{}");
    if (mark != std::string::npos) timer.replace(mark, 2, std::to_string(adapter.latency_timer_ms));
    details += (details.empty() ? "" : ", ") + timer;
  }
  return details;
}

// The kernel's short name leads, so that what tells two adapters apart fits
// the list; choosing the entry stores the stable name behind it.
std::string list_entry(const SerialPortInfo& port) {
  const bool by_kernel_name = port.device.empty() || port.device == port.path;
  std::string about = adapter_description(port.adapter);
  if (about.empty() && by_kernel_name) about = port.description;
  const std::string details = adapter_details(port.adapter);
  if (!details.empty()) about += (about.empty() ? "" : "; ") + details;
  const std::string& shown = by_kernel_name ? port.path : port.device;
  return about.empty() ? shown : shown + "  (" + about + ")";
}

FXComboBox* value_combo(FXComposite* grid, FXDataTarget& target) {
  auto* combo =
      new FXComboBox(grid, 15, &target, FXDataTarget::ID_VALUE,
                     COMBOBOX_NORMAL | FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_COLUMN);
  combo->setNumVisible(5);
  return combo;
}

FXSpinner* delay_spinner(FXComposite* grid, FXDataTarget& target, FXint low, FXint high) {
  auto* spinner = new FXSpinner(grid, 3, &target, FXDataTarget::ID_VALUE,
                                SPIN_NORMAL | SPIN_CYCLIC | FRAME_SUNKEN | FRAME_THICK);
  spinner->setRange(low, high);
  return spinner;
}

}  // namespace

SettingsPage::SettingsPage(FXComposite* pane, FXObject* window, WindowIcons& icons,
                           const SettingsValues& values)
    : comTarget_(values.comPort),
      languageTarget_(values.language),
      flashDelayTarget_(values.flashDelay),
      sysfontDelayTarget_(values.sysfontDelay),
      events_(new SettingsPageEvents(this)) {
  auto* page = new FXHorizontalFrame(pane, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildValueColumn(page, icons);
  buildCommandColumn(page, window, icons);
  // Show the bound values from the start, not only after the first GUI update.
  comCombo->setText(values.comPort);
  languageCombo->setText(values.language);
  flashDelaySpinner->setValue(values.flashDelay);
  sysfontDelaySpinner->setValue(values.sysfontDelay);
  followTabBook(pane);
}

SettingsPage::~SettingsPage() {
  // The widgets may outlive the page by a moment: they must not call into it.
  if (tabBook_ && tabBook_->getTarget() == events_.get()) {
    tabBook_->setTarget(events_->bookTarget);
    tabBook_->setSelector(events_->bookMessage);
  }
  if (comCombo->getTarget() == events_.get()) comCombo->setTarget(nullptr);
}

// The page is the content of a tab of the window's tab book: it listens to the
// book to notice when its own tab is opened.
void SettingsPage::followTabBook(FXComposite* pane) {
  FXWindow* parent = pane->getParent();
  if (!parent || !parent->isMemberOf(FXMETACLASS(FXTabBook))) return;
  tabBook_ = static_cast<FXTabBook*>(parent);
  tabIndex_ = tabBook_->indexOfChild(pane) / 2;  // tab items and panes alternate
  events_->bookTarget = tabBook_->getTarget();
  events_->bookMessage = tabBook_->getSelector();
  tabBook_->setTarget(events_.get());
  tabBook_->setSelector(SettingsPageEvents::ID_TAB);
}

void SettingsPage::refreshPortList() {
  const FXString chosen = comCombo->getText();
  comCombo->clearItems();
  portNames_.clear();
  for (const char* port : kPortChoices) comCombo->appendItem(port);
  for (const SerialPortInfo& port : portSource()) {
    const std::string entry = list_entry(port);
    portNames_[entry] = port.path;
    comCombo->appendItem(entry.c_str());
  }
  comCombo->setText(chosen);
}

std::string SettingsPage::portNameFor(const std::string& shown) const {
  const auto found = portNames_.find(shown);
  return found == portNames_.end() ? shown : found->second;
}

void SettingsPage::buildValueColumn(FXComposite* page, WindowIcons& icons) {
  // The column takes its share of a wider window, and the two lists with it:
  // a port's list entry carries its description, and the list is as wide as
  // its box.
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_settings"), icons.settings);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  auto* lists = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  new FXLabel(lists, ui_text("hv_com_port"), nullptr, LAYOUT_CENTER_Y);
  comCombo = value_combo(lists, comTarget_);
  comCombo->setTarget(events_.get());
  comCombo->setSelector(SettingsPageEvents::ID_PORT);
  for (const char* port : kPortChoices) comCombo->appendItem(port);
  new FXLabel(lists, ui_text("hv_lang"), nullptr, LAYOUT_CENTER_Y);
  languageCombo = value_combo(lists, languageTarget_);
  for (const char* language : kLanguageChoices) languageCombo->appendItem(language);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  auto* delays = new FXMatrix(column, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  new FXLabel(delays, ui_text("hv_flash_delay"), nullptr, LAYOUT_CENTER_Y);
  flashDelaySpinner = delay_spinner(delays, flashDelayTarget_, kFlashDelay.min, kFlashDelay.max);
  new FXLabel(delays, ui_text("hv_sysfont_delay"), nullptr, LAYOUT_CENTER_Y);
  sysfontDelaySpinner = delay_spinner(delays, sysfontDelayTarget_, kSysfontDelay.min, kSysfontDelay.max);
}

void SettingsPage::buildCommandColumn(FXComposite* page, FXObject* window, WindowIcons& icons) {
  auto* column = new FXVerticalFrame(page, FRAME_RAISED | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  make_heading(column, ui_text("hv_commands"), icons.exchange);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  saveButton = new FXButton(column, ui_text("hv_save"), icons.floppy, window, ID_SAVE_SETTINGS,
                            BUTTON_NORMAL | ICON_BEFORE_TEXT | LAYOUT_LEFT);
  new FXLabel(column, FXString::null, icons.logoPicture, LAYOUT_BOTTOM | LAYOUT_RIGHT);
}

}  // namespace tv
