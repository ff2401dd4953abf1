#include "dbkit/FXDbControl.h"

#include <cstdint>

#include "base/trace.h"
#include "dbkit/FXDbGrid.h"
#include "dbkit/FXMessageSeam.h"
#include "icons/icons.h"
#include "text/ui_text.h"

using namespace FX;

// clang-format off
FXDEFMAP(FXDbControl) FXDbControlMap[] = {
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_FIRST, FXDbControl::onFirst),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_PREV,  FXDbControl::onPrev),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_NEXT,  FXDbControl::onNext),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_LAST,  FXDbControl::onLast),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_SB,    FXDbControl::onSb),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_IB,    FXDbControl::onIb),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_NEW,   FXDbControl::onNew),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_SAV,   FXDbControl::onUpd),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_DEL,   FXDbControl::onDel),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_SBAC,  FXDbControl::onSbac),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_SFOR,  FXDbControl::onSfor),
  FXMAPFUNC(SEL_COMMAND, FXDbControl::ID_CTR_SINC,  FXDbControl::onSinc),
};
// clang-format on

FXIMPLEMENT(FXDbControl, FXToolBar, FXDbControlMap, ARRAYNUMBER(FXDbControlMap))

static_assert(int(FXDbControl::ID_CTR_FIRST) >= int(FXToolBar::ID_LAST),
              "the navigator's identifiers must not shadow the toolbar's own");

namespace {

struct ButtonEntry {
  const char* key;
  FXSelector id;
  const unsigned char* gif;
  const char* accel;  // null: no accelerator
  FXButton* FXDbControl::*button;
};

// Left to right, as the buttons appear on the toolbar.
const ButtonEntry kButtons[12] = {
    {"ctr_first", FXDbControl::ID_CTR_FIRST, tv::icons::nav_first_gif, nullptr, &FXDbControl::firstButton},
    {"ctr_prev", FXDbControl::ID_CTR_PREV, tv::icons::nav_prev_gif, nullptr, &FXDbControl::prevButton},
    {"ctr_next", FXDbControl::ID_CTR_NEXT, tv::icons::nav_next_gif, nullptr, &FXDbControl::nextButton},
    {"ctr_last", FXDbControl::ID_CTR_LAST, tv::icons::nav_last_gif, nullptr, &FXDbControl::lastButton},
    {"ctr_sb", FXDbControl::ID_CTR_SB, tv::icons::nav_sb_gif, "ctrl-S", &FXDbControl::sbButton},
    {"ctr_ib", FXDbControl::ID_CTR_IB, tv::icons::nav_ib_gif, "ctrl-P", &FXDbControl::ibButton},
    {"ctr_new", FXDbControl::ID_CTR_NEW, tv::icons::nav_new_gif, "ctrl-N", &FXDbControl::newButton},
    {"ctr_sav", FXDbControl::ID_CTR_SAV, tv::icons::nav_sav_gif, "ctrl-U", &FXDbControl::savButton},
    {"ctr_del", FXDbControl::ID_CTR_DEL, tv::icons::nav_del_gif, "ctrl-D", &FXDbControl::delButton},
    {"ctr_sbac", FXDbControl::ID_CTR_SBAC, tv::icons::nav_sbac_gif, "ctrl-B", &FXDbControl::sbacButton},
    {"ctr_sfor", FXDbControl::ID_CTR_SFOR, tv::icons::nav_sfor_gif, "ctrl-F", &FXDbControl::sforButton},
    {"ctr_sinc", FXDbControl::ID_CTR_SINC, tv::icons::nav_sinc_gif, "ctrl-R", &FXDbControl::sincButton},
};

void call(FXDbControl::Hook hook, FXDbControl* navigator) {
  if (hook) hook(navigator);
}

long address_of(const void* p) { return static_cast<long>(reinterpret_cast<std::intptr_t>(p)); }

bool ask_yes(FXWindow* owner, const char* message_key) {
  return tv::show_message(owner, tv::MessageKind::Information, MBOX_YES_NO, tv::ui_text("ctr_qu"),
                          tv::ui_text(message_key)) == MBOX_CLICKED_YES;
}

}  // namespace

FXDbControl::FXDbControl(FXComposite* parent, FXuint opts)
    : FXToolBar(parent, opts, 0, 0, 0, 0, 2, 3, 3, 2, 4, 4), searchTarget(searchText) {
  bindAccelerators();
  buildButtons();
}

FXDbControl::~FXDbControl() {
  unbindAccelerators();
  // The buttons still point at the icons; remove them first.
  while (getFirst()) delete getFirst();
  for (FXIcon*& icon : icons) {
    delete icon;
    icon = nullptr;
  }
}

void FXDbControl::buildButtons() {
  for (int i = 0; i < 12; ++i) {
    const ButtonEntry& entry = kButtons[i];
    icons[i] = new FXGIFIcon(getApp(), entry.gif);
    this->*entry.button =
        new FXButton(this, tv::ui_text(entry.key), icons[i], this, entry.id,
                     BUTTON_TOOLBAR | ICON_ABOVE_TEXT | FRAME_RAISED, 0, 0, 0, 0, 2, 2, 2, 2);
  }
}

// The keys work wherever the keyboard focus is inside the parent window. The
// accelerators live in the parent rather than the top-level window so that
// two navigators in one window (the TV and the radio page) never answer each
// other's keys.
void FXDbControl::bindAccelerators() {
  accelWindow = getParent();
  FXAccelTable* table = accelWindow->getAccelTable();
  if (!table) {
    table = ownAccelTable = new FXAccelTable;
    accelWindow->setAccelTable(table);
  }
  for (const ButtonEntry& entry : kButtons) {
    if (entry.accel) table->addAccel(parseAccel(entry.accel), this, FXSEL(SEL_COMMAND, entry.id));
  }
}

void FXDbControl::unbindAccelerators() {
  if (!accelWindow) return;
  // While the parent itself is being torn down its own destructors may already
  // have freed a table they owned: then only a table of ours is touched.
  bool parent_alive = accelWindow->getMetaClass() != FXMETACLASS(FXComposite);
  FXAccelTable* table = accelWindow->getAccelTable();
  if (ownAccelTable) {
    if (table == ownAccelTable) accelWindow->setAccelTable(NULL);
    delete ownAccelTable;
    ownAccelTable = nullptr;
  } else if (parent_alive && table) {
    for (const ButtonEntry& entry : kButtons) {
      if (entry.accel) table->removeAccel(parseAccel(entry.accel));
    }
  }
  accelWindow = nullptr;
}

// Moves the cursor to `row` (which the caller knows exists).
void FXDbControl::moveTo(FXFoldingItem* row) { grid->showRow(row); }

// ---------------------------------------------------------------------------
// Moves

long FXDbControl::onFirst(FXObject*, FXSelector, void*) {
  tv::trace("onFirst 0 %ld\n", address_of(grid));
  call(leaveHook, this);
  insertMode = 0;
  if (FXFoldingItem* row = grid->getFirstItem()) {
    grid->killSelection(FALSE);
    grid->selectItem(row, FALSE);
    tv::trace("onFirst 2\n");
    grid->setCurrentItem(row, FALSE);
    grid->makeItemVisible(row);
    tv::trace("onFirst 3\n");
  }
  call(showHook, this);
  tv::trace("onFirst 99\n");
  return 1;
}

long FXDbControl::onPrev(FXObject*, FXSelector, void*) {
  call(leaveHook, this);
  insertMode = 0;
  FXFoldingItem* row = FXDbGrid::rowAbove(grid->getCurrentItem());
  if (!row) return 1;
  moveTo(row);
  call(showHook, this);
  insertMode = 0;
  return 1;
}

long FXDbControl::onNext(FXObject*, FXSelector, void*) {
  call(leaveHook, this);
  insertMode = 0;
  FXFoldingItem* row = FXDbGrid::rowBelow(grid->getCurrentItem());
  if (!row) return 1;
  moveTo(row);
  call(showHook, this);
  insertMode = 0;
  return 1;
}

long FXDbControl::onLast(FXObject*, FXSelector, void*) {
  call(leaveHook, this);
  insertMode = 0;
  if (FXFoldingItem* row = grid->lastRow()) moveTo(row);
  call(showHook, this);
  insertMode = 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Searches: start next to the current row, never wrap; an empty text finds
// nothing.

void FXDbControl::onSearch(int direction) {
  FXFoldingItem* row = grid->getCurrentItem();
  if (!row || searchText.empty()) return;
  for (;;) {
    row = direction > 0 ? FXDbGrid::rowBelow(row) : FXDbGrid::rowAbove(row);
    if (!row) return;
    if (row->getText().find(searchText) >= 0) break;
  }
  moveTo(row);
  call(leaveHook, this);
  insertMode = 0;
  call(showHook, this);
  insertMode = 0;
}

long FXDbControl::onSfor(FXObject*, FXSelector, void*) {
  onSearch(+1);
  return 0;
}

long FXDbControl::onSbac(FXObject*, FXSelector, void*) {
  onSearch(-1);
  return 0;
}

// ---------------------------------------------------------------------------
// Editing

long FXDbControl::onNew(FXObject*, FXSelector, void*) {
  insertMode = 1;
  call(leaveHook, this);  // the owner clears its editor for the new record
  return 0;
}

long FXDbControl::onUpd(FXObject*, FXSelector, void*) {
  if (!grid->getCurrentItem()) insertMode = 1;
  if (insertMode == 1 && !ask_yes(this, "ctr_adds")) return 0;
  tv::trace("onUpd add %d ins %ld\n", insertMode, address_of(reinterpret_cast<void*>(insertHook)));
  call(insertMode == 1 ? insertHook : updateHook, this);
  insertMode = 0;
  call(showHook, this);
  insertMode = 0;
  return 0;
}

long FXDbControl::onDel(FXObject*, FXSelector, void*) {
  FXFoldingItem* row = grid->getCurrentItem();
  if (!row) return 0;
  FXFoldingItem* above = FXDbGrid::rowAbove(row);
  FXFoldingItem* below = FXDbGrid::rowBelow(row);
  if (row->getFirst()) {
    tv::show_message(this, tv::MessageKind::Error, MBOX_OK, "Ошибка!",
                     "Удалять НЕВОЗМОЖНО!\nТ.к. имеются подуровни. ");
    return 0;
  }
  if (!ask_yes(this, "ctr_dels")) return 0;
  if (deleteHook && deleteHook(this) == 0) return 0;
  grid->removeItem(row, FALSE);
  call(leaveHook, this);
  insertMode = 0;
  FXFoldingItem* next = below ? below : above;
  if (next) moveTo(next);
  insertMode = 0;
  call(showHook, this);
  return 0;
}

// ---------------------------------------------------------------------------
// Commands that belong wholly to the owner

long FXDbControl::onSb(FXObject*, FXSelector, void*) {
  call(sbHook, this);
  return 0;
}

long FXDbControl::onIb(FXObject*, FXSelector, void*) {
  call(ibHook, this);
  return 0;
}

long FXDbControl::onSinc(FXObject*, FXSelector, void*) {
  call(refreshHook, this);
  return 0;
}
