// The navigator's moves, searches, save and delete on a bare grid, with the
// hook calls they make and the questions they ask.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"
#include "dbkit/kit_fixture.h"

using namespace FX;
using dbkit_test::KitTest;
using dbkit_test::recorder;
using Calls = std::vector<std::string>;

namespace {

const Calls& calls() { return recorder().calls; }

TEST_F(KitTest, HandlerResultsAreOneForMovesAndZeroForTheRest) {
  fillRows(3);
  for (FXSelector id : {FXDbControl::ID_CTR_FIRST, FXDbControl::ID_CTR_PREV, FXDbControl::ID_CTR_NEXT,
                        FXDbControl::ID_CTR_LAST}) {
    EXPECT_EQ(1, sendResult(id)) << id;
  }
  recorder().answer = MBOX_CLICKED_NO;
  for (FXSelector id : {FXDbControl::ID_CTR_SB, FXDbControl::ID_CTR_IB, FXDbControl::ID_CTR_NEW,
                        FXDbControl::ID_CTR_SAV, FXDbControl::ID_CTR_DEL, FXDbControl::ID_CTR_SBAC,
                        FXDbControl::ID_CTR_SFOR, FXDbControl::ID_CTR_SINC}) {
    EXPECT_EQ(0, sendResult(id)) << id;
  }
}

TEST_F(KitTest, FirstAndLastOnAnEmptyGridStillLeaveAndShow) {
  sendCommand(FXDbControl::ID_CTR_FIRST);
  sendCommand(FXDbControl::ID_CTR_LAST);
  EXPECT_EQ((Calls{"leave[]/ins=0", "show[]/ins=0", "leave[]/ins=0", "show[]/ins=0"}), calls());
}

TEST_F(KitTest, PrevAndNextOnAnEmptyGridOnlyLeave) {
  nav->insertMode = 1;
  sendCommand(FXDbControl::ID_CTR_PREV);
  sendCommand(FXDbControl::ID_CTR_NEXT);
  EXPECT_EQ((Calls{"leave[]/ins=1", "leave[]/ins=0"}), calls());
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, FirstNextPrevLastWalkTheRowsAndSelectOnlyTheCurrent) {
  fillRows(4);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  EXPECT_EQ("r0", currentText());
  sendCommand(FXDbControl::ID_CTR_NEXT);
  sendCommand(FXDbControl::ID_CTR_NEXT);
  EXPECT_EQ("r2", currentText());
  EXPECT_EQ((std::vector<std::string>{"r2"}), selectedTexts());
  sendCommand(FXDbControl::ID_CTR_PREV);
  EXPECT_EQ("r1", currentText());
  sendCommand(FXDbControl::ID_CTR_LAST);
  EXPECT_EQ("r3", currentText());
  EXPECT_EQ((std::vector<std::string>{"r3"}), selectedTexts());
  // The leave hook sees the old row, the show hook the new one.
  // (The list makes the first row it is given current by itself.)
  EXPECT_EQ(
      (Calls{"leave[r0]/ins=0", "show[r0]/ins=0", "leave[r0]/ins=0", "show[r1]/ins=0", "leave[r1]/ins=0",
             "show[r2]/ins=0", "leave[r2]/ins=0", "show[r1]/ins=0", "leave[r1]/ins=0", "show[r3]/ins=0"}),
      calls());
}

TEST_F(KitTest, NextAtTheLastRowAndPrevAtTheFirstStayWithoutShowing) {
  fillRows(2);
  sendCommand(FXDbControl::ID_CTR_LAST);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_NEXT);
  EXPECT_EQ("r1", currentText());
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_PREV);
  EXPECT_EQ("r0", currentText());
  EXPECT_EQ((Calls{"leave[r0]/ins=0"}), calls());
}

TEST_F(KitTest, MovesFollowTheVisitOrderThroughNestedRows) {
  // a
  //   a1
  //     a1x
  //   a2
  // b
  FXFoldingItem* a = grid->appendItem(NULL, "a");
  FXFoldingItem* a1 = grid->appendItem(a, "a1");
  grid->appendItem(a1, "a1x");
  grid->appendItem(a, "a2");
  grid->appendItem(NULL, "b");
  std::vector<std::string> down, up;
  sendCommand(FXDbControl::ID_CTR_FIRST);
  down.push_back(currentText());
  for (int i = 0; i < 5; ++i) {
    sendCommand(FXDbControl::ID_CTR_NEXT);
    down.push_back(currentText());
  }
  for (int i = 0; i < 5; ++i) {
    sendCommand(FXDbControl::ID_CTR_PREV);
    up.push_back(currentText());
  }
  EXPECT_EQ((std::vector<std::string>{"a", "a1", "a1x", "a2", "b", "b"}), down);
  EXPECT_EQ((std::vector<std::string>{"a2", "a1x", "a1", "a", "a"}), up);
}

TEST_F(KitTest, LastDescendsToTheDeepestLastRow) {
  FXFoldingItem* a = grid->appendItem(NULL, "a");
  FXFoldingItem* b = grid->appendItem(a, "b");
  grid->appendItem(b, "c1");
  grid->appendItem(b, "c2");
  sendCommand(FXDbControl::ID_CTR_LAST);
  EXPECT_EQ("c2", currentText());
}

// ---------------------------------------------------------------------------
// Searches

TEST_F(KitTest, SearchForwardSkipsTheCurrentRowAndFindsASubstring) {
  grid->appendItem(NULL, "alpha");
  grid->appendItem(NULL, "beta");
  grid->appendItem(NULL, "alphabet");
  sendCommand(FXDbControl::ID_CTR_FIRST);  // "alpha" matches too, but is current
  recorder().calls.clear();
  nav->insertMode = 1;
  nav->searchText = "lph";
  sendCommand(FXDbControl::ID_CTR_SFOR);
  EXPECT_EQ("alphabet", currentText());
  EXPECT_EQ((std::vector<std::string>{"alphabet"}), selectedTexts());
  // The leave hook comes after the cursor has moved.
  EXPECT_EQ((Calls{"leave[alphabet]/ins=1", "show[alphabet]/ins=0"}), calls());
}

TEST_F(KitTest, SearchBackwardFindsTheNearestMatchAbove) {
  for (const char* t : {"x1", "y", "x2", "z", "x3"}) grid->appendItem(NULL, t);
  sendCommand(FXDbControl::ID_CTR_LAST);
  nav->searchText = "x";
  sendCommand(FXDbControl::ID_CTR_SBAC);
  EXPECT_EQ("x2", currentText());
  sendCommand(FXDbControl::ID_CTR_SBAC);
  EXPECT_EQ("x1", currentText());
}

TEST_F(KitTest, SearchIsCaseSensitiveAndDoesNotWrap) {
  for (const char* t : {"Match", "other", "last"}) grid->appendItem(NULL, t);
  sendCommand(FXDbControl::ID_CTR_LAST);
  recorder().calls.clear();
  nav->searchText = "match";  // only "Match", above: wrong case
  sendCommand(FXDbControl::ID_CTR_SFOR);
  sendCommand(FXDbControl::ID_CTR_SBAC);
  nav->searchText = "Match";  // below the last row there is nothing; no wrap
  sendCommand(FXDbControl::ID_CTR_SFOR);
  EXPECT_EQ("last", currentText());
  EXPECT_TRUE(calls().empty());
}

TEST_F(KitTest, EmptySearchTextFindsNothing) {
  fillRows(3);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().calls.clear();
  nav->searchText = "";
  sendCommand(FXDbControl::ID_CTR_SFOR);
  EXPECT_EQ("r0", currentText());
  EXPECT_TRUE(calls().empty());
}

TEST_F(KitTest, SearchWithoutACurrentRowDoesNothing) {
  fillRows(3);
  grid->setCurrentItem(NULL, FALSE);
  nav->searchText = "r";
  sendCommand(FXDbControl::ID_CTR_SFOR);
  sendCommand(FXDbControl::ID_CTR_SBAC);
  EXPECT_EQ("<none>", currentText());
  EXPECT_TRUE(calls().empty());
}

TEST_F(KitTest, SearchTextFollowsItsDataTarget) {
  FXTextField* field = new FXTextField(nav, 8, &nav->searchTarget, FXDataTarget::ID_VALUE, TEXTFIELD_NORMAL);
  field->create();
  field->setText("r2", TRUE);  // as typing does: the field tells its target
  EXPECT_STREQ("r2", nav->searchText.text());
}

// ---------------------------------------------------------------------------
// New, save and delete

TEST_F(KitTest, NewSetsInsertModeBeforeCallingLeave) {
  fillRows(1);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_NEW);
  EXPECT_EQ((Calls{"leave[r0]/ins=1"}), calls());
  EXPECT_EQ(1u, grid->getNumItems());
}

TEST_F(KitTest, SaveWithACurrentRowUpdatesWithoutAsking) {
  fillRows(2);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_SAV);
  EXPECT_EQ((Calls{"update[r0]/ins=0", "show[r0]/ins=0"}), calls());
  EXPECT_TRUE(recorder().boxes.empty());
}

TEST_F(KitTest, SaveInInsertModeAsksAndInsertsOnYes) {
  fillRows(1);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  sendCommand(FXDbControl::ID_CTR_NEW);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_SAV);
  ASSERT_EQ(1u, recorder().boxes.size());
  EXPECT_EQ(FXuint(MBOX_YES_NO), recorder().boxes[0].buttons);
  EXPECT_EQ(tv::MessageKind::Information, recorder().boxes[0].kind);
  EXPECT_EQ("insert[r0]/ins=1", calls().at(1));
  EXPECT_EQ("show[r0]/ins=0", calls().at(2));
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, SaveOnAnEmptyGridAsksEveryTimeWhileTheAnswerIsNo) {
  recorder().answer = MBOX_CLICKED_NO;
  sendCommand(FXDbControl::ID_CTR_SAV);
  EXPECT_EQ(1, nav->insertMode);
  sendCommand(FXDbControl::ID_CTR_SAV);
  EXPECT_EQ(2u, recorder().boxes.size());
  EXPECT_EQ(1, nav->insertMode);
  recorder().answer = MBOX_CLICKED_YES;
  sendCommand(FXDbControl::ID_CTR_SAV);
  EXPECT_EQ(3u, recorder().boxes.size());
  ASSERT_GE(calls().size(), 2u);
  EXPECT_EQ("insert[]/ins=1", calls()[calls().size() - 2]);
  EXPECT_EQ("show[]/ins=0", calls().back());
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, SaveWithoutHooksStillEndsInsertMode) {
  nav->insertHook = nullptr;
  nav->updateHook = nullptr;
  nav->showHook = nullptr;
  sendCommand(FXDbControl::ID_CTR_SAV);
  EXPECT_EQ(0, nav->insertMode);
}

TEST_F(KitTest, DeleteOfAMiddleRowShowsTheRowBelow) {
  fillRows(3);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  sendCommand(FXDbControl::ID_CTR_NEXT);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_EQ(2, grid->getNumItems());
  EXPECT_EQ("r2", currentText());
  EXPECT_EQ((std::vector<std::string>{"r2"}), selectedTexts());
  ASSERT_EQ(1u, recorder().boxes.size());
  EXPECT_EQ(FXuint(MBOX_YES_NO), recorder().boxes[0].buttons);
  EXPECT_EQ("delete[r1]/ins=0", calls().at(1));
  EXPECT_EQ("show[r2]/ins=0", calls().back());
}

TEST_F(KitTest, DeleteOfTheLastRowShowsTheRowAbove) {
  fillRows(3);
  sendCommand(FXDbControl::ID_CTR_LAST);
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_EQ(2, grid->getNumItems());
  EXPECT_EQ("r1", currentText());
  EXPECT_EQ((std::vector<std::string>{"r1"}), selectedTexts());
}

TEST_F(KitTest, DeleteOfTheOnlyRowEmptiesTheGridAndStillShows) {
  fillRows(1);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().calls.clear();
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_EQ(0, grid->getNumItems());
  EXPECT_EQ("<none>", currentText());
  EXPECT_EQ("show[]/ins=0", calls().back());
}

TEST_F(KitTest, DeleteRefusedByTheUserOrTheHookKeepsTheRow) {
  fillRows(2);
  sendCommand(FXDbControl::ID_CTR_FIRST);
  recorder().answer = MBOX_CLICKED_NO;
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_EQ(2, grid->getNumItems());
  recorder().answer = MBOX_CLICKED_YES;
  recorder().deleteAnswer = 0;
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_EQ(2, grid->getNumItems());
  EXPECT_EQ("r0", currentText());
}

TEST_F(KitTest, DeleteOfARowWithChildrenIsRefusedWithAnError) {
  FXFoldingItem* parent = grid->appendItem(NULL, "parent");
  grid->appendItem(parent, "child");
  sendCommand(FXDbControl::ID_CTR_FIRST);
  sendCommand(FXDbControl::ID_CTR_DEL);
  ASSERT_EQ(1u, recorder().boxes.size());
  EXPECT_EQ(tv::MessageKind::Error, recorder().boxes[0].kind);
  EXPECT_EQ(FXuint(MBOX_OK), recorder().boxes[0].buttons);
  EXPECT_EQ("Ошибка!", recorder().boxes[0].caption);
  EXPECT_EQ("Удалять НЕВОЗМОЖНО!\nТ.к. имеются подуровни. ", recorder().boxes[0].text);
  EXPECT_EQ(1, grid->getNumItems());
}

TEST_F(KitTest, DeleteWithoutACurrentRowAsksNothing) {
  fillRows(2);
  grid->setCurrentItem(NULL, FALSE);
  sendCommand(FXDbControl::ID_CTR_DEL);
  EXPECT_TRUE(recorder().boxes.empty());
  EXPECT_EQ(2, grid->getNumItems());
}

TEST_F(KitTest, OwnerCommandsCallOnlyTheirHooks) {
  sendCommand(FXDbControl::ID_CTR_SB);
  sendCommand(FXDbControl::ID_CTR_IB);
  sendCommand(FXDbControl::ID_CTR_SINC);
  EXPECT_EQ((Calls{"sb[]/ins=0", "ib[]/ins=0", "refresh[]/ins=0"}), calls());
  nav->sbHook = nav->ibHook = nav->refreshHook = nullptr;
  sendCommand(FXDbControl::ID_CTR_SB);
  sendCommand(FXDbControl::ID_CTR_SINC);
  EXPECT_EQ(3u, calls().size());
}

}  // namespace

namespace {

// The diagnostic lines a service engineer sees on the terminal.
TEST_F(KitTest, FirstAndSaveWriteTheirTraceLines) {
  fillRows(1);
  tv::set_trace_enabled(true);
  testing::internal::CaptureStdout();
  sendCommand(FXDbControl::ID_CTR_FIRST);
  nav->insertHook = nullptr;
  sendCommand(FXDbControl::ID_CTR_NEW);
  sendCommand(FXDbControl::ID_CTR_SAV);
  const std::string out = testing::internal::GetCapturedStdout();
  tv::set_trace_enabled(false);
  const std::string first = "onFirst 0 " + std::to_string(reinterpret_cast<std::intptr_t>(grid)) +
                            "\nonFirst 2\nonFirst 3\nonFirst 99\n";
  // Keep only the navigator's lines: the catalogue traces its own lookups.
  std::string mine;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("onFirst ", 0) == 0 || line.rfind("onUpd ", 0) == 0) mine += line + "\n";
  }
  EXPECT_EQ(first + "onUpd add 1 ins 0\n", mine);
}

}  // namespace
