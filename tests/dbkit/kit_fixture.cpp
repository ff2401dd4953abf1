#include "dbkit/kit_fixture.h"

#include "base/trace.h"
#include "support/fox_app.h"

using namespace FX;

namespace dbkit_test {

Recorder& recorder() {
  static Recorder r;
  return r;
}

SeamGuard::SeamGuard() {
  recorder() = Recorder();
  tv::set_message_hook([](const tv::MessageRecord& box) {
    recorder().boxes.push_back(box);
    recorder().calls.push_back("box:" + box.caption);
    return recorder().answer;
  });
}

SeamGuard::~SeamGuard() { tv::set_message_hook(nullptr); }

namespace {

void log_call(const char* name, FXDbControl* nav) {
  std::string entry = name;
  FXFoldingItem* row = nav->grid ? nav->grid->getCurrentItem() : nullptr;
  entry += "[" + std::string(row ? row->getText().text() : "") + "]";
  entry += "/ins=" + std::to_string(nav->insertMode);
  recorder().calls.push_back(entry);
}

}  // namespace

void record_show(FXDbControl* nav) { log_call("show", nav); }
void record_leave(FXDbControl* nav) { log_call("leave", nav); }
void record_insert(FXDbControl* nav) { log_call("insert", nav); }
void record_update(FXDbControl* nav) { log_call("update", nav); }
int record_delete(FXDbControl* nav) {
  log_call("delete", nav);
  return recorder().deleteAnswer;
}
void record_sb(FXDbControl* nav) { log_call("sb", nav); }
void record_ib(FXDbControl* nav) { log_call("ib", nav); }
void record_refresh(FXDbControl* nav) { log_call("refresh", nav); }

long press_ctrl_key(FXWindow* window, FXuint keysym) {
  FXEvent event;
  event.type = SEL_KEYPRESS;
  event.code = keysym;
  event.state = CONTROLMASK;
  event.text = FXString::null;
  return window->handle(window, FXSEL(SEL_KEYPRESS, 0), &event);
}

void KitTest::SetUp() {
  tv::set_trace_enabled(false);
  window = new FXMainWindow(testsupport::test_app(), "kit", NULL, NULL, DECOR_ALL, 0, 0, 600, 400);
  page = new FXVerticalFrame(window, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  nav = new FXDbControl(page);
  grid = new FXDbGrid(page, nav);
  nav->grid = grid;
  grid->appendHeader("text", NULL, 100);
  nav->showHook = record_show;
  nav->leaveHook = record_leave;
  nav->insertHook = record_insert;
  nav->updateHook = record_update;
  nav->deleteHook = record_delete;
  nav->sbHook = record_sb;
  nav->ibHook = record_ib;
  nav->refreshHook = record_refresh;
  window->create();
}

void KitTest::TearDown() {
  delete window;
  window = nullptr;
}

void KitTest::fillRows(int n) {
  for (int i = 0; i < n; ++i) {
    grid->appendItem(NULL, FXString("r") + FXStringVal(i), NULL, NULL, NULL, FALSE);
  }
}

std::string KitTest::currentText() const {
  FXFoldingItem* row = grid->getCurrentItem();
  return row ? row->getText().text() : "<none>";
}

std::vector<std::string> KitTest::selectedTexts() const {
  std::vector<std::string> out;
  for (FXFoldingItem* row = grid->getFirstItem(); row; row = FXDbGrid::rowBelow(row)) {
    if (row->isSelected()) out.push_back(row->getText().text());
  }
  return out;
}

void KitTest::sendCommand(FXSelector id) { nav->handle(nav, FXSEL(SEL_COMMAND, id), NULL); }

long KitTest::sendResult(FXSelector id) { return nav->handle(nav, FXSEL(SEL_COMMAND, id), NULL); }

}  // namespace dbkit_test
