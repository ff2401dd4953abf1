// The grid's row pick, its row colours, and the navigator's buttons and
// keyboard accelerators.
#include <string>
#include <vector>

#include "dbkit/kit_fixture.h"
#include "support/fox_app.h"

using namespace FX;
using dbkit_test::KitTest;
using dbkit_test::press_ctrl_key;
using dbkit_test::recorder;
using Calls = std::vector<std::string>;

namespace {

long pickThroughList(FXDbGrid* grid, FXFoldingItem* row) {
  // What the list does on a click: make the row current, then tell its target.
  grid->setCurrentItem(row, TRUE);
  return grid->getTarget()->handle(grid, FXSEL(SEL_COMMAND, grid->getSelector()), row);
}

TEST_F(KitTest, GridIsItsOwnTargetWithItsFixedStyle) {
  EXPECT_EQ(grid, grid->getTarget());
  EXPECT_EQ(FXSelector(FXDbGrid::ID_GRID), grid->getSelector());
  EXPECT_EQ(57, FXDbGrid::ID_GRID);
  EXPECT_EQ(nav, grid->control);
  const FXuint style = grid->getListStyle();
  EXPECT_TRUE(style & FOLDINGLIST_SINGLESELECT);
  EXPECT_TRUE(style & FOLDINGLIST_ROOT_BOXES);
  EXPECT_EQ(FXuint(LAYOUT_FILL_X | LAYOUT_FILL_Y), grid->getLayoutHints() & (LAYOUT_FILL_X | LAYOUT_FILL_Y));
  EXPECT_STREQ("FXDbGrid", grid->getClassName());
  EXPECT_STREQ("FXDbControl", nav->getClassName());
}

TEST_F(KitTest, PickingARowLeavesAfterTheMoveThenShowsIt) {
  fillRows(3);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  nav->insertMode = 1;
  recorder().calls.clear();
  EXPECT_EQ(0, pickThroughList(grid, grid->getFirstItem()->getNext()->getNext()));
  EXPECT_EQ((Calls{"leave[r2]/ins=1", "show[r2]/ins=0"}), recorder().calls);
  EXPECT_EQ((std::vector<std::string>{"r2"}), selectedTexts());
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, APickWithoutACurrentRowOnlyLeaves) {
  nav->insertMode = 1;
  grid->handle(grid, FXSEL(SEL_COMMAND, FXDbGrid::ID_GRID), NULL);
  EXPECT_EQ((Calls{"leave[]/ins=1"}), recorder().calls);
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, EveryRowTheListMakesCarriesAColour) {
  FXFoldingItem* row = grid->appendItem(NULL, "a");
  FXFoldingItem* child = grid->insertItem(NULL, row, "b");
  EXPECT_TRUE(row->isMemberOf(FXMETACLASS(FXDbGridItem)));
  EXPECT_TRUE(child->isMemberOf(FXMETACLASS(FXDbGridItem)));
  EXPECT_EQ(FXColor(0), FXDbGrid::rowColor(row));
  grid->setRowColor(row, FXRGB(1, 2, 3));
  EXPECT_EQ(FXRGB(1, 2, 3), FXDbGrid::rowColor(row));
  EXPECT_EQ(FXRGB(1, 2, 3), static_cast<FXDbGridItem*>(row)->backgroundColor());
  EXPECT_EQ(FXRGB(255, 255, 255), static_cast<FXDbGridItem*>(child)->backgroundColor());
}

TEST_F(KitTest, ARowOfAnotherTypeHasNoColourAndIgnoresOne) {
  FXFoldingItem* plain = grid->appendItem(NULL, new FXFoldingItem("plain"));
  grid->setRowColor(plain, FXRGB(9, 9, 9));
  EXPECT_EQ(FXColor(0), FXDbGrid::rowColor(plain));
}

TEST_F(KitTest, VisitOrderHelpersStopAtTheEnds) {
  EXPECT_EQ(nullptr, FXDbGrid::rowBelow(nullptr));
  EXPECT_EQ(nullptr, FXDbGrid::rowAbove(nullptr));
  EXPECT_EQ(nullptr, grid->lastRow());
  FXFoldingItem* a = grid->appendItem(NULL, "a");
  FXFoldingItem* a1 = grid->appendItem(a, "a1");
  EXPECT_EQ(nullptr, FXDbGrid::rowBelow(a1));  // no sibling of any ancestor
  EXPECT_EQ(a, FXDbGrid::rowAbove(a1));
  EXPECT_EQ(nullptr, FXDbGrid::rowAbove(a));
}

// ---------------------------------------------------------------------------
// Buttons and accelerators

TEST_F(KitTest, TwelveButtonsInOrderSendingTheirCommandsToTheNavigator) {
  const std::vector<FXSelector> expected = {63, 65, 64, 78, 68, 69, 71, 72, 73, 75, 74, 70};
  std::vector<FXSelector> ids;
  for (FXWindow* child = nav->getFirst(); child; child = child->getNext()) {
    FXButton* button = dynamic_cast<FXButton*>(child);
    if (!button) continue;
    ids.push_back(button->getSelector());
    EXPECT_EQ(nav, button->getTarget());
    EXPECT_NE(nullptr, button->getIcon());
    EXPECT_TRUE(button->getButtonStyle() & BUTTON_TOOLBAR);
    EXPECT_EQ(FXuint(ICON_ABOVE_TEXT), button->getIconPosition());
  }
  EXPECT_EQ(expected, ids);
  EXPECT_EQ(nav->firstButton, nav->getFirst());
  EXPECT_EQ(nav->sincButton, nav->getLast());
  EXPECT_EQ(2, nav->getPadLeft());
  EXPECT_EQ(3, nav->getPadRight());
  EXPECT_EQ(3, nav->getPadTop());
  EXPECT_EQ(2, nav->getPadBottom());
}

TEST_F(KitTest, EightAcceleratorsReachTheirCommands) {
  fillRows(3);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  nav->searchText = "r2";
  recorder().calls.clear();
  FXAccelTable* table = page->getAccelTable();
  ASSERT_NE(nullptr, table);
  for (const char* key : {"ctrl-S", "ctrl-P", "ctrl-N", "ctrl-U", "ctrl-D", "ctrl-B", "ctrl-F", "ctrl-R"}) {
    EXPECT_TRUE(table->hasAccel(parseAccel(key))) << key;
  }
  EXPECT_TRUE(press_ctrl_key(page, KEY_s));
  EXPECT_TRUE(press_ctrl_key(page, KEY_p));
  EXPECT_TRUE(press_ctrl_key(page, KEY_r));
  EXPECT_EQ((Calls{"sb[r0]/ins=0", "ib[r0]/ins=0", "refresh[r0]/ins=0"}), recorder().calls);
  press_ctrl_key(page, KEY_f);
  EXPECT_EQ("r2", currentText());
  press_ctrl_key(page, KEY_b);  // r2 is current: nothing above matches
  EXPECT_EQ("r2", currentText());
  press_ctrl_key(page, KEY_d);
  EXPECT_EQ(2, grid->getNumItems());
  press_ctrl_key(page, KEY_n);
  EXPECT_EQ(1, nav->insertMode);
  recorder().answer = MBOX_CLICKED_NO;
  press_ctrl_key(page, KEY_u);
  EXPECT_EQ("box:", recorder().calls.back().substr(0, 4));
}

TEST_F(KitTest, KeysWorkFromTheFocusedWidgetInsideTheParent) {
  FXTextField* field = new FXTextField(page, 8, &nav->searchTarget, FXDataTarget::ID_VALUE, TEXTFIELD_NORMAL);
  field->create();
  window->show();
  field->setFocus();
  press_ctrl_key(window, KEY_s);  // through the top-level window, as X delivers it
  EXPECT_EQ((Calls{"sb[]/ins=0"}), recorder().calls);
}

TEST_F(KitTest, AnExistingAcceleratorTableIsExtendedNotReplaced) {
  FXMainWindow* other = new FXMainWindow(testsupport::test_app(), "other");
  FXAccelTable* table = other->getAccelTable();
  ASSERT_NE(nullptr, table);
  table->addAccel(parseAccel("ctrl-W"), other, FXSEL(SEL_COMMAND, 1));
  FXDbControl* inside = new FXDbControl(other);
  EXPECT_EQ(table, other->getAccelTable());
  EXPECT_TRUE(table->hasAccel(parseAccel("ctrl-W")));
  EXPECT_TRUE(table->hasAccel(parseAccel("ctrl-D")));
  delete inside;  // its keys go with it; the window's own stay
  EXPECT_TRUE(table->hasAccel(parseAccel("ctrl-W")));
  EXPECT_FALSE(table->hasAccel(parseAccel("ctrl-D")));
  delete other;
}

TEST_F(KitTest, TwoNavigatorsInOneWindowKeepTheirOwnKeys) {
  FXVerticalFrame* second_page = new FXVerticalFrame(window);
  FXDbControl* second = new FXDbControl(second_page);
  FXDbGrid* second_grid = new FXDbGrid(second_page, second);
  second->grid = second_grid;
  second->refreshHook = [](FXDbControl*) { recorder().calls.push_back("second refresh"); };
  window->create();
  press_ctrl_key(page, KEY_r);
  press_ctrl_key(second_page, KEY_r);
  EXPECT_EQ((Calls{"refresh[]/ins=0", "second refresh"}), recorder().calls);
}

TEST_F(KitTest, HiddenButtonsKeepTheirKeys) {
  fillRows(2);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  nav->delButton->hide();
  nav->newButton->hide();
  press_ctrl_key(page, KEY_d);
  EXPECT_EQ(1, grid->getNumItems());
  press_ctrl_key(page, KEY_n);
  EXPECT_EQ(1, nav->insertMode);
}

}  // namespace
