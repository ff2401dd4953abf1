// The channel pages: refresh fill, editor load and store, moving entries,
// save-all, the keys of the hidden buttons and the window's commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/trace.h"
#include "channels/ChannelPage.h"
#include "channels/channel_pages.h"
#include "dbkit/kit_fixture.h"
#include "support/fox_app.h"

using namespace FX;
using dbkit_test::press_ctrl_key;
using dbkit_test::recorder;

namespace {

// A stand-in for the main window: routes the page buttons' commands to the
// channel handlers as the real window does.
class PageWindow : public FXMainWindow {
  FXDECLARE(PageWindow)
 protected:
  PageWindow() {}

 public:
  PageWindow(FXApp* app) : FXMainWindow(app, "channels", NULL, NULL, DECOR_ALL, 0, 0, 700, 420) {}
  long onUp(FXObject* sender, FXSelector, void*) { return tv::on_channel_up(sender); }
  long onDown(FXObject* sender, FXSelector, void*) { return tv::on_channel_down(sender); }
  long onSaveAll(FXObject*, FXSelector, void*) { return tv::on_channel_save_all(this); }
};

FXDEFMAP(PageWindow)
PageWindowMap[] = {
    FXMAPFUNC(SEL_COMMAND, 76, PageWindow::onUp),
    FXMAPFUNC(SEL_COMMAND, 77, PageWindow::onDown),
    FXMAPFUNC(SEL_COMMAND, 78, PageWindow::onSaveAll),
};
FXIMPLEMENT(PageWindow, FXMainWindow, PageWindowMap, ARRAYNUMBER(PageWindowMap))

class ChannelPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    window = new PageWindow(testsupport::test_app());
    FXTabBook* book = new FXTabBook(window, NULL, 0, LAYOUT_FILL_X | LAYOUT_FILL_Y);
    new FXTabItem(book, "TV");
    FXVerticalFrame* tv_pane = new FXVerticalFrame(book, LAYOUT_FILL_X | LAYOUT_FILL_Y);
    new FXTabItem(book, "FM Radio");
    FXVerticalFrame* radio_pane = new FXVerticalFrame(book, LAYOUT_FILL_X | LAYOUT_FILL_Y);
    pages = tv::build_channel_pages(tv_pane, radio_pane, window, NULL, NULL);
    window->create();
    page = pages.tv;
  }
  void TearDown() override { delete window; }

  FXDbGrid* grid() const { return page->grid; }
  FXFoldingItem* row(int index) const {
    FXFoldingItem* r = grid()->getFirstItem();
    while (r && index-- > 0) r = r->getNext();
    return r;
  }
  std::string text(int index) const { return row(index)->getText().text(); }
  FXColor color(int index) const { return FXDbGrid::rowColor(row(index)); }
  int currentIndex() const {
    int i = 0;
    for (FXFoldingItem* r = grid()->getFirstItem(); r; r = r->getNext(), ++i) {
      if (r == grid()->getCurrentItem()) return i;
    }
    return -1;
  }
  void refresh() {
    page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SINC), NULL);
  }
  // What a click does: the button sends its command to its target.
  void press(FXButton* button) {
    button->getTarget()->handle(button, FXSEL(SEL_COMMAND, button->getSelector()), NULL);
  }

  dbkit_test::SeamGuard seam;
  PageWindow* window = nullptr;
  tv::ChannelPages pages;
  tv::ChannelPage* page = nullptr;
};

TEST_F(ChannelPageTest, RefreshFillsAHundredNumberedRowsWithCyclingColours) {
  refresh();
  ASSERT_EQ(100, grid()->getNumItems());
  EXPECT_EQ(" 0\tYYYY 00\t \t12345  0", text(0));
  EXPECT_EQ(" 7\tYYYY 07\t+\t12345  7", text(7));
  EXPECT_EQ("42\tYYYY 42\t \t12345 2a", text(42));
  EXPECT_EQ("99\tYYYY 99\t+\t12345 63", text(99));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(tv::row_color(i % 10), color(i)) << i;
  EXPECT_EQ(FXRGB(255, 192, 178), tv::row_color(2));
  EXPECT_EQ(FXRGB(255, 190, 216), tv::row_color(9));
  // Row 0 shown in the editor, its check cleared.
  EXPECT_EQ(0, currentIndex());
  EXPECT_STREQ(" 0", page->channelNumber.text());
  EXPECT_STREQ("YYYY 00", page->channelName.text());
  EXPECT_STREQ("12345  0", page->channelFreq.text());
  EXPECT_EQ(0, page->channelOn);
  // Shown widgets pull their values from the data targets.
  window->show();
  EXPECT_TRUE(testsupport::run_gui_until(
      [&] {
        testsupport::test_app()->forceRefresh();
        return page->nameField->getText() == "YYYY 00";
      },
      3000));
  EXPECT_FALSE(page->onCheck->getCheck());
}

TEST_F(ChannelPageTest, RefreshReplacesWhatTheGridHeld) {
  refresh();
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_LAST), NULL);
  refresh();
  EXPECT_EQ(100, grid()->getNumItems());
  EXPECT_EQ(0, currentIndex());
}

TEST_F(ChannelPageTest, MovingShowsTheRowAndAnOddRowIsOn) {
  refresh();
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_NEXT), NULL);
  EXPECT_EQ(1, page->channelOn);
  EXPECT_STREQ("YYYY 01", page->channelName.text());
}

TEST_F(ChannelPageTest, SaveStoresTheEditorIntoTheCurrentRow) {
  refresh();
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_NEXT), NULL);
  page->channelName = "News";
  page->channelOn = 0;
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SAV), NULL);
  EXPECT_EQ(" 1\tNews\t \t12345  1", text(1));
  EXPECT_EQ(tv::row_color(tv::kRowColorOff), color(1));
  page->channelOn = 1;
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SAV), NULL);
  EXPECT_EQ(" 1\tNews\t+\t12345  1", text(1));
  EXPECT_EQ(tv::row_color(tv::kRowColorOn), color(1));
  EXPECT_EQ(1, currentIndex());
  EXPECT_TRUE(recorder().boxes.empty());
}

TEST_F(ChannelPageTest, AFlagOtherThanASinglePlusReadsAsOffAndStoresABlank) {
  grid()->appendItem(NULL, "5\tname\t+ \tfreq");
  grid()->appendItem(NULL, "6\tshort");
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_FIRST), NULL);
  EXPECT_EQ(0, page->channelOn);
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SAV), NULL);
  EXPECT_EQ("5\tname\t \tfreq", text(0));
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_NEXT), NULL);
  EXPECT_STREQ("", page->channelFreq.text());  // missing columns read as empty
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SAV), NULL);
  EXPECT_EQ("6\tshort\t \t", text(1));
}

TEST_F(ChannelPageTest, SaveOnAnEmptyGridAsksAndChangesNothing) {
  recorder().answer = MBOX_CLICKED_YES;
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SAV), NULL);
  EXPECT_EQ(1u, recorder().boxes.size());
  EXPECT_EQ(0, grid()->getNumItems());
}

TEST_F(ChannelPageTest, MoveDownSwapsEntriesButKeepsNumbers) {
  refresh();
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_NEXT), NULL);
  press(page->downButton);  // row 1 (on) changes places with row 2 (off)
  EXPECT_EQ(" 1\tYYYY 02\t \t12345  2", text(1));
  EXPECT_EQ(" 2\tYYYY 01\t+\t12345  1", text(2));
  EXPECT_EQ(tv::row_color(tv::kRowColorOff), color(1));
  EXPECT_EQ(tv::row_color(tv::kRowColorOn), color(2));
  EXPECT_EQ(2, currentIndex());  // the cursor follows the entry
  EXPECT_TRUE(row(2)->isSelected());
  EXPECT_FALSE(row(1)->isSelected());
  EXPECT_STREQ("YYYY 01", page->channelName.text());
  EXPECT_STREQ(" 2", page->channelNumber.text());
}

TEST_F(ChannelPageTest, MoveUpThenDownRestoresTheTexts) {
  refresh();
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_LAST), NULL);
  const std::string before98 = text(98), before99 = text(99);
  press(page->upButton);
  EXPECT_EQ(98, currentIndex());
  EXPECT_EQ("98\tYYYY 99\t+\t12345 63", text(98));
  press(page->downButton);
  EXPECT_EQ(before98, text(98));
  EXPECT_EQ(before99, text(99));
}

TEST_F(ChannelPageTest, MovesStopAtTheEndsAndOnAnEmptyGrid) {
  press(page->upButton);
  press(page->downButton);
  EXPECT_EQ(0, grid()->getNumItems());
  refresh();
  press(page->upButton);
  EXPECT_EQ(" 0\tYYYY 00\t \t12345  0", text(0));
  EXPECT_EQ(0, currentIndex());
  page->navigator->handle(page->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_LAST), NULL);
  press(page->downButton);
  EXPECT_EQ("99\tYYYY 99\t+\t12345 63", text(99));
  EXPECT_EQ(99, currentIndex());
}

TEST_F(ChannelPageTest, UpAndDownButtonsCarryTheirGridAndMoveOnlyTheirPage) {
  EXPECT_EQ(page->grid, page->upButton->getUserData());
  EXPECT_EQ(page->grid, page->downButton->getUserData());
  EXPECT_EQ(nullptr, page->saveAllButton->getUserData());
  EXPECT_EQ(FXSelector(76), page->upButton->getSelector());
  EXPECT_EQ(FXSelector(77), page->downButton->getSelector());
  EXPECT_EQ(FXSelector(78), page->saveAllButton->getSelector());
  EXPECT_EQ(window, page->upButton->getTarget());
  refresh();
  tv::ChannelPage* radio = pages.radio;
  radio->navigator->handle(radio->navigator, FXSEL(SEL_COMMAND, FXDbControl::ID_CTR_SINC), NULL);
  press(radio->downButton);
  EXPECT_EQ(" 0\tYYYY 00\t \t12345  0", text(0));  // the TV page is untouched
  EXPECT_EQ(" 0\tYYYY 01\t+\t12345  1", std::string(radio->grid->getFirstItem()->getText().text()));
}

TEST_F(ChannelPageTest, AMoveFromAButtonWithoutAPageGridIsIgnored) {
  refresh();
  FXButton stray(window, "stray");
  stray.setUserData(&stray);
  EXPECT_EQ(1, tv::on_channel_down(&stray));
  EXPECT_EQ(1, tv::on_channel_up(nullptr));
  EXPECT_EQ(" 0\tYYYY 00\t \t12345  0", text(0));
}

TEST_F(ChannelPageTest, SaveAllShowsItsNoticeWhateverTheGridHolds) {
  press(page->saveAllButton);
  refresh();
  press(page->saveAllButton);
  ASSERT_EQ(2u, recorder().boxes.size());
  EXPECT_EQ("О onChSave", recorder().boxes[0].caption);
  EXPECT_EQ("onChSave ", recorder().boxes[0].text);
  EXPECT_EQ(FXuint(MBOX_OK), recorder().boxes[0].buttons);
  EXPECT_EQ(tv::MessageKind::Information, recorder().boxes[0].kind);
  EXPECT_EQ(100, grid()->getNumItems());
}

TEST_F(ChannelPageTest, HiddenButtonsKeysStillWork) {
  EXPECT_FALSE(page->navigator->sbButton->shown());
  EXPECT_FALSE(page->navigator->ibButton->shown());
  EXPECT_FALSE(page->navigator->newButton->shown());
  EXPECT_FALSE(page->navigator->delButton->shown());
  EXPECT_TRUE(page->navigator->savButton->shown());
  FXWindow* keys = page->navigator->getParent();
  refresh();
  press_ctrl_key(keys, KEY_s);  // no hook: nothing happens
  press_ctrl_key(keys, KEY_p);
  EXPECT_EQ(100, grid()->getNumItems());
  EXPECT_TRUE(recorder().boxes.empty());
  press_ctrl_key(keys, KEY_d);
  EXPECT_EQ(99, grid()->getNumItems());
  EXPECT_EQ(" 1\tYYYY 01\t+\t12345  1", text(0));
  EXPECT_STREQ("YYYY 01", page->channelName.text());
  press_ctrl_key(keys, KEY_n);
  EXPECT_EQ(1, page->navigator->insertMode);
  recorder().answer = MBOX_CLICKED_YES;
  press_ctrl_key(keys, KEY_u);  // asks to add, but no insert hook: nothing stored
  EXPECT_EQ(99, grid()->getNumItems());
  EXPECT_EQ(" 1\tYYYY 01\t+\t12345  1", text(0));
  EXPECT_EQ(2u, recorder().boxes.size());
}

TEST_F(ChannelPageTest, PickingARowThroughTheGridShowsItInTheEditor) {
  refresh();
  grid()->setCurrentItem(row(5), TRUE);
  grid()->handle(grid(), FXSEL(SEL_COMMAND, FXDbGrid::ID_GRID), row(5));
  EXPECT_STREQ("YYYY 05", page->channelName.text());
  EXPECT_EQ(1, page->channelOn);
  EXPECT_TRUE(row(5)->isSelected());
  EXPECT_FALSE(row(0)->isSelected());
}

TEST_F(ChannelPageTest, HooksLeaveAGridOfNoPageAlone) {
  FXDbControl* nav = new FXDbControl(window);
  FXDbGrid* other = new FXDbGrid(window, nav);
  nav->grid = other;
  other->appendItem(NULL, "1\tx\t+\ty");
  other->setCurrentItem(other->getFirstItem());
  page->channelName = "kept";
  tv::f_position(nav);
  tv::f_update(nav);
  EXPECT_STREQ("kept", page->channelName.text());
  EXPECT_EQ("1\tx\t+\ty", std::string(other->getFirstItem()->getText().text()));
}

TEST_F(ChannelPageTest, TheEditorFieldsAreBoundAndNumberAndFrequencyAreReadOnly) {
  refresh();
  testsupport::pump_gui();
  EXPECT_FALSE(page->numberField->isEditable());
  EXPECT_FALSE(page->freqField->isEditable());
  EXPECT_TRUE(page->nameField->isEditable());
  page->nameField->setText("Typed", TRUE);
  EXPECT_STREQ("Typed", page->channelName.text());
  page->onCheck->setCheck(TRUE, TRUE);
  EXPECT_EQ(1, page->channelOn);
  EXPECT_EQ(FXString("N"), page->grid->getHeader()->getItemText(0));
  EXPECT_EQ(4, page->grid->getHeader()->getNumItems());
  EXPECT_EQ(30, page->grid->getHeader()->getItemSize(0));
  EXPECT_EQ(25, page->grid->getHeader()->getItemSize(2));
}

}  // namespace
