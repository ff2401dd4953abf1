// The navigator of the data-bound widget kit: a toolbar of twelve buttons with
// keyboard accelerators that drives one record grid (FXDbGrid). It moves the
// grid's current row, searches the rows' text and runs new, save and delete,
// asking for confirmation where needed. It knows nothing of what the rows
// mean: every step that touches the owner's data goes through a hook.
#pragma once

#include <fox-1.6/fx.h>

class FXDbGrid;

class FXDbControl : public FX::FXToolBar {
  FXDECLARE(FXDbControl)

 protected:
  FXDbControl() {}

 public:
  typedef void (*Hook)(FXDbControl*);
  typedef int (*DeleteHook)(FXDbControl*);  // 0 cancels the delete

  // The buttons, left to right; the owner may hide or disable them (hiding a
  // button leaves its accelerator bound).
  FX::FXButton* firstButton = nullptr;  // ctr_first
  FX::FXButton* prevButton = nullptr;   // ctr_prev
  FX::FXButton* nextButton = nullptr;   // ctr_next
  FX::FXButton* lastButton = nullptr;   // ctr_last
  FX::FXButton* sbButton = nullptr;     // ctr_sb,   ctrl-S
  FX::FXButton* ibButton = nullptr;     // ctr_ib,   ctrl-P
  FX::FXButton* newButton = nullptr;    // ctr_new,  ctrl-N
  FX::FXButton* savButton = nullptr;    // ctr_sav,  ctrl-U
  FX::FXButton* delButton = nullptr;    // ctr_del,  ctrl-D
  FX::FXButton* sbacButton = nullptr;   // ctr_sbac, ctrl-B
  FX::FXButton* sforButton = nullptr;   // ctr_sfor, ctrl-F
  FX::FXButton* sincButton = nullptr;   // ctr_sinc, ctrl-R

  FXDbGrid* grid = nullptr;       // the grid driven; set by the owner, not owned
  FX::FXString searchText;        // what the searches look for
  FX::FXDataTarget searchTarget;  // searchText as a string value, for a text field
  int insertMode = 0;             // 1 while a new record is being entered

  // The owner's hooks; an empty hook is skipped.
  Hook showHook = nullptr;          // the current row changed: show it
  Hook leaveHook = nullptr;         // the shown record is about to be replaced
  Hook insertHook = nullptr;        // Save in insert mode: add the new record
  Hook updateHook = nullptr;        // Save otherwise: store the edited record
  DeleteHook deleteHook = nullptr;  // before a row is removed; 0 cancels
  Hook sbHook = nullptr;            // the whole of ctr_sb
  Hook ibHook = nullptr;            // the whole of ctr_ib
  Hook refreshHook = nullptr;       // the whole of ctr_sinc: refill the grid

  // Moves (result 1)
  long onFirst(FX::FXObject*, FX::FXSelector, void*);
  long onPrev(FX::FXObject*, FX::FXSelector, void*);
  long onNext(FX::FXObject*, FX::FXSelector, void*);
  long onLast(FX::FXObject*, FX::FXSelector, void*);
  // Searches (result 0)
  long onSfor(FX::FXObject*, FX::FXSelector, void*);
  long onSbac(FX::FXObject*, FX::FXSelector, void*);
  // Editing and the owner's commands (result 0)
  long onNew(FX::FXObject*, FX::FXSelector, void*);
  long onUpd(FX::FXObject*, FX::FXSelector, void*);
  long onDel(FX::FXObject*, FX::FXSelector, void*);
  long onSb(FX::FXObject*, FX::FXSelector, void*);
  long onIb(FX::FXObject*, FX::FXSelector, void*);
  long onSinc(FX::FXObject*, FX::FXSelector, void*);

  // The navigator's own identifiers (above FXToolBar's).
  enum {
    ID_CTR_FIRST = 63,
    ID_CTR_NEXT = 64,
    ID_CTR_PREV = 65,
    ID_CTR_SB = 68,
    ID_CTR_IB = 69,
    ID_CTR_SINC = 70,
    ID_CTR_NEW = 71,
    ID_CTR_SAV = 72,
    ID_CTR_DEL = 73,
    ID_CTR_SFOR = 74,
    ID_CTR_SBAC = 75,
    ID_CTR_LAST = 78
  };

  // Builds the toolbar and its buttons and binds the eight accelerators in the
  // parent window's accelerator table (a new one when the parent has none).
  FXDbControl(FX::FXComposite* parent,
              FX::FXuint opts = FX::LAYOUT_TOP | FX::LAYOUT_LEFT | FX::LAYOUT_FILL_X);
  virtual ~FXDbControl();

  // Searches from the current row in visit order (+1 below, -1 above).
  void onSearch(int direction);

 private:
  FX::FXIcon* icons[12] = {};                 // owned
  FX::FXAccelTable* ownAccelTable = nullptr;  // made by us when the parent had none
  FX::FXWindow* accelWindow = nullptr;        // the window holding our accelerators

  void buildButtons();
  void bindAccelerators();
  void unbindAccelerators();
  void moveTo(FX::FXFoldingItem* row);
};
