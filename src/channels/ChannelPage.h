// One channel page (TV channels or FM radio): a record grid of channel
// entries, its navigator with a search field, the up / down / save-all
// buttons and an editor panel showing the current entry. The page frame owns
// the editor values and their data targets, so they live exactly as long as
// the widgets bound to them.
#pragma once

#include <fox-1.6/fx.h>

#include <vector>

#include "dbkit/FXDbControl.h"
#include "dbkit/FXDbGrid.h"

namespace tv {

// Background colours of channel rows (FXRGB), indexed 0..9. Entry 0 marks a
// channel that is on, entry 2 one that is off.
constexpr int kRowColorCount = 10;
FX::FXColor row_color(int index);
constexpr int kRowColorOn = 0;
constexpr int kRowColorOff = 2;

class ChannelPage : public FX::FXHorizontalFrame {
  FXDECLARE(ChannelPage)

 protected:
  ChannelPage() {}

 public:
  // Editor values, each bound to its editor widget by a data target.
  FX::FXString channelNumber;  // column 0, read-only field
  FX::FXString channelName;    // column 1
  FX::FXString channelFreq;    // column 3, read-only field
  FX::FXint channelOn = 0;     // column 2 is exactly "+"

  FXDbGrid* grid = nullptr;                // the page's channel list
  FXDbControl* navigator = nullptr;        // drives the grid
  FX::FXTextField* searchField = nullptr;  // bound to navigator->searchTarget
  FX::FXButton* upButton = nullptr;        // ID 76 to the window, user data = grid
  FX::FXButton* downButton = nullptr;      // ID 77 to the window, user data = grid
  FX::FXButton* saveAllButton = nullptr;   // ID 78 to the window
  FX::FXTextField* numberField = nullptr;
  FX::FXTextField* nameField = nullptr;
  FX::FXTextField* freqField = nullptr;
  FX::FXCheckButton* onCheck = nullptr;

  // Builds the page into `pane`. `window` receives the commands of the up,
  // down and save-all buttons; `logo` and `check_icon` belong to the caller.
  ChannelPage(FX::FXComposite* pane, FX::FXObject* window, FX::FXIcon* logo, FX::FXIcon* check_icon);
  virtual ~ChannelPage();

  // The page whose grid `grid` is, or null (a grid of no channel page).
  static ChannelPage* findByGrid(const FXDbGrid* grid);

  // The editor values <-> the current row.
  void loadCurrentRow();
  void storeCurrentRow();

 private:
  FX::FXDataTarget numberTarget;
  FX::FXDataTarget nameTarget;
  FX::FXDataTarget freqTarget;
  FX::FXDataTarget onTarget;
  std::vector<FX::FXIcon*> loadedIcons;  // pictures read from files, owned

  FX::FXIcon* picture(const char* file_name);
  void buildGrid(FX::FXComposite* left, FX::FXIcon* check_icon);
  void buildButtonColumn(FX::FXComposite* parent, FX::FXObject* window);
  void buildEditor(FX::FXComposite* parent, FX::FXIcon* logo);
  void wireNavigator();
};

// The navigator's hooks on a channel page; each finds its page through the
// navigator's grid and leaves a grid of no channel page alone.
void f_exec(FXDbControl* navigator);      // refresh: 100 generated rows
void f_position(FXDbControl* navigator);  // current row -> editor
void f_update(FXDbControl* navigator);    // editor -> current row

// Exchanges the entry of the current row with its neighbour above (direction
// -1) or below (+1); numbers stay with their positions, the cursor follows
// the entry. Nothing happens without a current row or a neighbour.
void moveChannel(FXDbGrid* grid, int direction);

// One channel row's text from its four columns.
FX::FXString channel_row_text(const FX::FXString& number, const FX::FXString& name, const FX::FXString& flag,
                              const FX::FXString& freq);
bool channel_is_on(const FX::FXString& row_text);

}  // namespace tv
