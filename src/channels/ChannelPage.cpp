#include "channels/ChannelPage.h"

#include <algorithm>

#include "base/trace.h"
#include "channels/channel_commands.h"
#include "text/data_files.h"
#include "text/load_icon.h"
#include "text/ui_text.h"

using namespace FX;

namespace tv {

namespace {

const FXColor kRowColors[kRowColorCount] = {
    FXRGB(255, 255, 255), FXRGB(187, 235, 255), FXRGB(255, 192, 178), FXRGB(227, 218, 255),
    FXRGB(201, 255, 211), FXRGB(174, 215, 255), FXRGB(255, 184, 155), FXRGB(237, 239, 244),
    FXRGB(182, 230, 180), FXRGB(255, 190, 216),
};

const FXuint kCommandButtonStyle = BUTTON_TOOLBAR | ICON_ABOVE_TEXT | FRAME_RAISED | LAYOUT_FILL_X;

// Live pages, so that a hook can find its page from the navigator's grid.
std::vector<ChannelPage*>& live_pages() {
  static std::vector<ChannelPage*> pages;
  return pages;
}

FXString column(const FXString& row_text, FXint index) { return row_text.section('\t', index); }

void spacer(FXComposite* parent) { new FXFrame(parent, FRAME_NONE | LAYOUT_FILL_Y); }

}  // namespace

FXColor row_color(int index) {
  return kRowColors[((index % kRowColorCount) + kRowColorCount) % kRowColorCount];
}

FXString channel_row_text(const FXString& number, const FXString& name, const FXString& flag,
                          const FXString& freq) {
  return number + "\t" + name + "\t" + flag + "\t" + freq;
}

bool channel_is_on(const FXString& row_text) { return column(row_text, 2) == "+"; }

FXIMPLEMENT(ChannelPage, FXHorizontalFrame, NULL, 0)

ChannelPage::ChannelPage(FXComposite* pane, FXObject* window, FXIcon* logo, FXIcon* check_icon)
    : FXHorizontalFrame(pane, FRAME_RAISED | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 4, 4, 4,
                        4, 4, 4),
      numberTarget(channelNumber),
      nameTarget(channelName),
      freqTarget(channelFreq),
      onTarget(channelOn) {
  FXSplitter* splitter =
      new FXSplitter(this, SPLITTER_HORIZONTAL | SPLITTER_TRACKING | LAYOUT_FILL_X | LAYOUT_FILL_Y);
  FXVerticalFrame* left = new FXVerticalFrame(
      splitter, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_Y | LAYOUT_FIX_WIDTH, 0, 0, 200, 0);
  FXVerticalFrame* right =
      new FXVerticalFrame(splitter, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_Y);

  navigator = new FXDbControl(right, LAYOUT_TOP | LAYOUT_LEFT | LAYOUT_FILL_X);
  searchField = new FXTextField(navigator, 8, &navigator->searchTarget, FXDataTarget::ID_VALUE,
                                TEXTFIELD_NORMAL | LAYOUT_FILL_X | LAYOUT_CENTER_Y);
  searchField->setTipText(ui_text("search"));
  buildGrid(left, check_icon);
  new FXHorizontalSeparator(right, SEPARATOR_GROOVE | LAYOUT_FILL_X);

  FXHorizontalFrame* lower = new FXHorizontalFrame(right, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  buildButtonColumn(lower, window);
  new FXVerticalSeparator(lower, SEPARATOR_GROOVE | LAYOUT_FILL_Y);
  buildEditor(lower, logo);
  wireNavigator();
  live_pages().push_back(this);
}

ChannelPage::~ChannelPage() {
  live_pages().erase(std::remove(live_pages().begin(), live_pages().end(), this), live_pages().end());
  // The widgets point at the data targets and pictures below: they go first.
  while (getFirst()) delete getFirst();
  for (FXIcon* icon : loadedIcons) delete icon;
}

ChannelPage* ChannelPage::findByGrid(const FXDbGrid* grid) {
  if (!grid) return nullptr;
  for (ChannelPage* page : live_pages()) {
    if (page->grid == grid) return page;
  }
  return nullptr;
}

// The run-time pictures are found like every data file: working folder
// first, then the installed data folder.
FXIcon* ChannelPage::picture(const char* file_name) {
  const std::string path = tv::find_data_file(file_name);
  FXIcon* icon = path.empty() ? nullptr : load_icon(getApp(), path.c_str());
  if (icon) loadedIcons.push_back(icon);
  return icon;
}

void ChannelPage::buildGrid(FXComposite* left, FXIcon* check_icon) {
  grid = new FXDbGrid(left, navigator);
  navigator->grid = grid;
  grid->appendHeader("N", NULL, 30);
  grid->appendHeader(ui_text("hv_name"), picture("settings.gif"), 90);
  grid->appendHeader(FXString::null, check_icon, 25);
  grid->appendHeader(ui_text("hv_frek"), picture("goto.gif"), 90);
}

void ChannelPage::buildButtonColumn(FXComposite* parent, FXObject* window) {
  FXVerticalFrame* column = new FXVerticalFrame(parent, LAYOUT_FILL_Y);
  spacer(column);
  upButton =
      new FXButton(column, ui_text("hv_up"), picture("up.gif"), window, kChannelUp, kCommandButtonStyle);
  upButton->setUserData(grid);
  downButton =
      new FXButton(column, ui_text("hv_down"), picture("dn.gif"), window, kChannelDown, kCommandButtonStyle);
  downButton->setUserData(grid);
  spacer(column);
  new FXHorizontalSeparator(column, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  spacer(column);
  spacer(column);
  saveAllButton = new FXButton(column, ui_text("hv_saveall"), picture("saveall.gif"), window, kChannelSaveAll,
                               kCommandButtonStyle);
}

void ChannelPage::buildEditor(FXComposite* parent, FXIcon* logo) {
  FXVerticalFrame* panel = new FXVerticalFrame(parent, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  FXMatrix* matrix = new FXMatrix(panel, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  const FXSelector value = FXDataTarget::ID_VALUE;

  new FXLabel(matrix, "N");
  numberField =
      new FXTextField(matrix, 3, &numberTarget, value, TEXTFIELD_READONLY | FRAME_SUNKEN | FRAME_THICK);
  new FXLabel(matrix, ui_text("hv_name"));
  nameField = new FXTextField(matrix, 20, &nameTarget, value, LAYOUT_FILL_X | LAYOUT_FILL_COLUMN);
  new FXLabel(matrix, ui_text("hv_frek"));
  freqField =
      new FXTextField(matrix, 3, &freqTarget, value, TEXTFIELD_READONLY | LAYOUT_FILL_X | LAYOUT_FILL_COLUMN);
  new FXLabel(matrix, FXString::null);
  onCheck = new FXCheckButton(matrix, ui_text("hv_on"), &onTarget, value);

  new FXLabel(panel, FXString::null, logo, LAYOUT_RIGHT | LAYOUT_BOTTOM);
}

// The page edits existing entries only: new, delete and the two other
// buttons are hidden, but their keys stay bound.
void ChannelPage::wireNavigator() {
  navigator->refreshHook = f_exec;
  navigator->showHook = f_position;
  navigator->updateHook = f_update;
  navigator->sbButton->hide();
  navigator->ibButton->hide();
  navigator->newButton->hide();
  navigator->delButton->hide();
}

void ChannelPage::loadCurrentRow() {
  FXFoldingItem* row = grid->getCurrentItem();
  if (!row) return;
  const FXString text = row->getText();
  trace("f_position <%s>\n", text.text());
  channelNumber = column(text, 0);
  channelName = column(text, 1);
  channelFreq = column(text, 3);
  channelOn = channel_is_on(text) ? 1 : 0;
}

void ChannelPage::storeCurrentRow() {
  FXFoldingItem* row = grid->getCurrentItem();
  if (!row) return;
  grid->setItemText(row, channel_row_text(channelNumber, channelName, channelOn ? "+" : " ", channelFreq));
  grid->setRowColor(row, row_color(channelOn ? kRowColorOn : kRowColorOff));
  grid->onRowPicked(grid, FXSEL(SEL_COMMAND, FXDbGrid::ID_GRID), NULL);
}

// ---------------------------------------------------------------------------
// Hooks

void f_exec(FXDbControl* navigator) {
  trace("f_exec 1\n");
  FXDbGrid* grid = navigator->grid;
  grid->clearItems(FALSE);
  for (int i = 0; i < 100; ++i) {
    FXString text;
    text.format("%2d\tYYYY %02d\t%c\t12345 %2x", i, i, (i % 2) ? '+' : ' ', i);
    FXFoldingItem* row = grid->appendItem(NULL, text, NULL, NULL, NULL, FALSE);
    grid->setRowColor(row, row_color(i));
  }
  navigator->onFirst(navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_FIRST), NULL);
}

void f_position(FXDbControl* navigator) {
  if (ChannelPage* page = ChannelPage::findByGrid(navigator->grid)) page->loadCurrentRow();
}

void f_update(FXDbControl* navigator) {
  if (ChannelPage* page = ChannelPage::findByGrid(navigator->grid)) page->storeCurrentRow();
}

// ---------------------------------------------------------------------------
// Moving an entry

void moveChannel(FXDbGrid* grid, int direction) {
  if (!grid) return;
  FXFoldingItem* current = grid->getCurrentItem();
  if (!current) return;
  FXFoldingItem* neighbour = direction < 0 ? FXDbGrid::rowAbove(current) : FXDbGrid::rowBelow(current);
  if (!neighbour) return;

  const FXString mine = current->getText();
  const FXString theirs = neighbour->getText();
  grid->setItemText(neighbour,
                    channel_row_text(column(theirs, 0), column(mine, 1), column(mine, 2), column(mine, 3)));
  grid->setRowColor(neighbour, row_color(channel_is_on(mine) ? kRowColorOn : kRowColorOff));
  grid->setItemText(
      current, channel_row_text(column(mine, 0), column(theirs, 1), column(theirs, 2), column(theirs, 3)));
  grid->setRowColor(current, row_color(channel_is_on(theirs) ? kRowColorOn : kRowColorOff));

  grid->setCurrentItem(neighbour, FALSE);
  grid->onRowPicked(grid, FXSEL(SEL_COMMAND, FXDbGrid::ID_GRID), NULL);
}

}  // namespace tv
