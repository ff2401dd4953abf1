// The record grid of the data-bound widget kit: a folding list whose rows are
// records (columns separated by TAB), driven by a navigator toolbar
// (FXDbControl). A row picked with the mouse is reported to the navigator's
// hooks exactly like a navigator move, and every row may carry a background
// colour of its own.
#pragma once

#include <fox-1.6/fx.h>

class FXDbControl;

// A grid row: a folding-list item with a background colour. rowColor 0 means
// "no colour" (the row is drawn on white); any other value is an FXRGB colour
// shown behind the row while it is not selected.
class FXDbGridItem : public FX::FXFoldingItem {
  FXDECLARE(FXDbGridItem)

 protected:
  FXDbGridItem() {}
  virtual void draw(const FX::FXFoldingList* list, FX::FXDC& dc, FX::FXint x, FX::FXint y, FX::FXint w,
                    FX::FXint h) const;

 public:
  FXDbGridItem(const FX::FXString& text, FX::FXIcon* openIcon = NULL, FX::FXIcon* closedIcon = NULL,
               void* data = NULL)
      : FX::FXFoldingItem(text, openIcon, closedIcon, data) {}

  FX::FXColor rowColor = 0;  // background while unselected; 0 = white

  // The colour a row is painted with when it is not selected.
  FX::FXColor backgroundColor() const;
};

class FXDbGrid : public FX::FXFoldingList {
  FXDECLARE(FXDbGrid)

 protected:
  FXDbGrid() {}
  // Every row the list creates is an FXDbGridItem, so each has a rowColor.
  virtual FX::FXFoldingItem* createItem(const FX::FXString& text, FX::FXIcon* openIcon,
                                        FX::FXIcon* closedIcon, void* data);

 public:
  FXDbControl* control = nullptr;  // the navigator driving this grid (not owned)

  // Row picked (by the user, or called directly by the owner).
  long onRowPicked(FX::FXObject*, FX::FXSelector, void*);

  enum { ID_GRID = 57 };

  FXDbGrid(FX::FXComposite* parent, FXDbControl* navigator, FX::FXint x = 0, FX::FXint y = 0, FX::FXint w = 0,
           FX::FXint h = 0);

  // Visit order of the navigator's moves and searches: depth first, children
  // before the next sibling. Null when there is no such row.
  static FX::FXFoldingItem* rowBelow(const FX::FXFoldingItem* row);
  static FX::FXFoldingItem* rowAbove(const FX::FXFoldingItem* row);

  // The deepest last row of the list (the last row in visit order), or null.
  FX::FXFoldingItem* lastRow() const;

  // Makes `row` the only selected row and the current one, and scrolls it into
  // view; no notification is sent. A null row only clears the selection.
  void showRow(FX::FXFoldingItem* row);

  // Colour of a row; rows that are not FXDbGridItems have none (0).
  static FX::FXColor rowColor(const FX::FXFoldingItem* row);
  void setRowColor(FX::FXFoldingItem* row, FX::FXColor color);
};
