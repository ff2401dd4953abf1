#include "dbkit/FXDbGrid.h"

#include "dbkit/FXDbControl.h"

using namespace FX;

// ---------------------------------------------------------------------------
// FXDbGridItem

FXIMPLEMENT(FXDbGridItem, FXFoldingItem, NULL, 0)

FXColor FXDbGridItem::backgroundColor() const { return rowColor != 0 ? rowColor : FXRGB(255, 255, 255); }

// The list clears the whole strip with its own background before it asks the
// row to draw itself, and hands the row only the rectangle of its tree part.
// The row colour must lie behind every column, so the fill spans the row from
// the list's scrolled left edge across all header columns. Text, icons, the
// selection and the focus rectangle are then drawn by the toolkit as usual; a
// selected row gets the selection colour, so the row colour shows only while
// the row is unselected.
void FXDbGridItem::draw(const FXFoldingList* list, FXDC& dc, FXint x, FXint y, FXint w, FXint h) const {
  const FXint left = FXMIN(x, list->getXPosition());
  const FXint right = FXMAX(x + w, list->getXPosition() + list->getHeader()->getTotalSize());
  dc.setForeground(isSelected() ? FXRGB(255, 255, 255) : backgroundColor());
  dc.fillRectangle(left, y, right - left, h);
  FXFoldingItem::draw(list, dc, x, y, w, h);
}

// ---------------------------------------------------------------------------
// FXDbGrid

// clang-format off
FXDEFMAP(FXDbGrid) FXDbGridMap[] = {
  FXMAPFUNC(SEL_COMMAND, FXDbGrid::ID_GRID, FXDbGrid::onRowPicked),
};
// clang-format on

FXIMPLEMENT(FXDbGrid, FXFoldingList, FXDbGridMap, ARRAYNUMBER(FXDbGridMap))

static_assert(int(FXDbGrid::ID_GRID) >= int(FXFoldingList::ID_LAST),
              "the grid's message must not shadow one of the list's own");

FXDbGrid::FXDbGrid(FXComposite* parent, FXDbControl* navigator, FXint x, FXint y, FXint w, FXint h)
    : FXFoldingList(parent, NULL, ID_GRID,
                    FOLDINGLIST_SINGLESELECT | FOLDINGLIST_ROOT_BOXES | FRAME_SUNKEN | FRAME_THICK |
                        LAYOUT_FILL_X | LAYOUT_FILL_Y,
                    x, y, w, h),
      control(navigator) {
  setTarget(this);
}

FXFoldingItem* FXDbGrid::createItem(const FXString& text, FXIcon* openIcon, FXIcon* closedIcon, void* data) {
  return new FXDbGridItem(text, openIcon, closedIcon, data);
}

FXFoldingItem* FXDbGrid::rowBelow(const FXFoldingItem* row) {
  if (!row) return NULL;
  if (row->getFirst()) return row->getFirst();
  for (const FXFoldingItem* r = row; r; r = r->getParent()) {
    if (r->getNext()) return r->getNext();
  }
  return NULL;
}

FXFoldingItem* FXDbGrid::rowAbove(const FXFoldingItem* row) {
  if (!row) return NULL;
  FXFoldingItem* above = row->getPrev();
  if (!above) return row->getParent();
  while (above->getLast()) above = above->getLast();
  return above;
}

FXFoldingItem* FXDbGrid::lastRow() const {
  FXFoldingItem* row = getLastItem();
  while (row && row->getLast()) row = row->getLast();
  return row;
}

void FXDbGrid::showRow(FXFoldingItem* row) {
  killSelection(FALSE);
  if (!row) return;
  selectItem(row, FALSE);
  setCurrentItem(row, FALSE);
  makeItemVisible(row);
}

FXColor FXDbGrid::rowColor(const FXFoldingItem* row) {
  if (!row || !row->isMemberOf(FXMETACLASS(FXDbGridItem))) return 0;
  return static_cast<const FXDbGridItem*>(row)->rowColor;
}

void FXDbGrid::setRowColor(FXFoldingItem* row, FXColor color) {
  if (!row || !row->isMemberOf(FXMETACLASS(FXDbGridItem))) return;
  static_cast<FXDbGridItem*>(row)->rowColor = color;
  updateItem(row);
}

// The toolkit has already made the picked row current; report it to the
// navigator's owner like any navigator move.
long FXDbGrid::onRowPicked(FXObject*, FXSelector, void*) {
  if (!control) return 0;
  if (control->leaveHook) control->leaveHook(control);
  control->insertMode = 0;
  if (FXFoldingItem* row = getCurrentItem()) {
    showRow(row);
    if (control->showHook) control->showHook(control);
    control->insertMode = 0;
  }
  return 0;
}
