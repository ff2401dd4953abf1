// A small window holding a bare navigator and grid, with hooks that record
// every call, and a message seam that answers questions from a script.
#pragma once

#include <fox-1.6/fx.h>
#include <fox-1.6/fxkeys.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbkit/FXDbControl.h"
#include "dbkit/FXDbGrid.h"
#include "dbkit/FXMessageSeam.h"

namespace dbkit_test {

// Every hook call and every message box, in order.
struct Recorder {
  std::vector<std::string> calls;
  std::vector<tv::MessageRecord> boxes;
  FX::FXuint answer = FX::MBOX_CLICKED_YES;  // what the seam answers
  int deleteAnswer = 1;                      // what the delete hook returns
};
Recorder& recorder();

// Installs the recording seam for the lifetime of the object.
struct SeamGuard {
  SeamGuard();
  ~SeamGuard();
};

// Hooks that log "<name>[<current row text>]/ins=<insertMode>".
void record_show(FXDbControl* nav);
void record_leave(FXDbControl* nav);
void record_insert(FXDbControl* nav);
void record_update(FXDbControl* nav);
int record_delete(FXDbControl* nav);
void record_sb(FXDbControl* nav);
void record_ib(FXDbControl* nav);
void record_refresh(FXDbControl* nav);

// Sends a control-key press to `window` as the keyboard would.
long press_ctrl_key(FX::FXWindow* window, FX::FXuint keysym);

class KitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Appends top-level rows "r0".."r<n-1>".
  void fillRows(int n);
  std::string currentText() const;
  std::vector<std::string> selectedTexts() const;
  void sendCommand(FX::FXSelector id);
  long sendResult(FX::FXSelector id);

  FX::FXMainWindow* window = nullptr;
  FX::FXVerticalFrame* page = nullptr;
  FXDbControl* nav = nullptr;
  FXDbGrid* grid = nullptr;
  SeamGuard seam;
};

}  // namespace dbkit_test
