// The command IDs of the main window. Their numbers are fixed: they start
// right after FXMainWindow's own IDs; 76 to 78 are the channel pages' own
// commands (they sit below the shell and cannot see this header). The workers
// send no IDs at all: their updates go through the ordered queue.
#pragma once

#include <fox-1.6/fx.h>

#include "channels/channel_commands.h"

namespace tv {

enum WindowId : FX::FXSelector {
  ID_ABOUT = 60,                          // menu m_about
  ID_HELP_DOC = 63,                       // menu m_doc: readme.htm with the desktop's opener
  ID_CONTROL_QUERY = 64,                  // control line: query the box
  ID_CONSOLE_WRITE = 65,                  // Write button, ctrl-W
  ID_CONSOLE_WRITE_STR = 66,              // WriteSTR button
  ID_LINE_TEST = 67,                      // control line: line test
  ID_RAISE_RTS = 68,                      // control line: raise RTS
  ID_SAVE_SETTINGS = 69,                  // hv_save button
  ID_CONSOLE_READ = 70,                   // Read button, ctrl-R
  ID_CONSOLE_CLEAR = 71,                  // "Очистка" button
  ID_POLL_TIMER = 72,                     // SEL_TIMEOUT: the port watch and the completion box
  ID_OPEN_CHIPSET = 73,                   // hv_open button
  ID_BURN = 74,                           // hv_rec button
  ID_RECALL = 75,                         // hv_recall button (system font alone)
  ID_CHANNEL_UP = kChannelUp,             // hv_up buttons of both channel tabs
  ID_CHANNEL_DOWN = kChannelDown,         // hv_down buttons
  ID_CHANNEL_SAVE_ALL = kChannelSaveAll,  // hv_saveall buttons
  ID_BIT_TOGGLED = 79,                    // the eight bit-row check boxes (user data 0..7)
  ID_SHOW_BITS = 80,                      // the Data field committed a value
  ID_SHOW_BITS_AGAIN = 81,                // same as 80, for senders other than the field
  ID_WI_WO_NI_NO = 82,                    // WiWoNiNo button
  ID_PORT_INPUT = 83,                     // SEL_IO_READ: the programming port has bytes (or hung up)
  ID_STOP_BURN = 86,                      // hv_stop button, Esc: stops a running burn
  ID_HELP_OPENER = 87,                    // SEL_IO_READ: the opener of the help page has ended
  ID_RESUME_BURN = 88,                    // hv_resume button: continue a burn that failed or stopped
  ID_COMPARE = 90,                        // hv_compare button: compare the box with the loaded file
  ID_BACKUP = 91,                         // menu m_backup: read the box into a file
  ID_ADD_BOX = 92,                        // menu m_add_box: another box on a port of its own
  ID_LOG_OPENER = 93,                     // SEL_IO_READ: the opener of a box's saved log has ended
  ID_CONSOLE_RECORD = 94,                 // console Record box and menu m_record: record to a file
  ID_CONSOLE_SAVE_OUTPUT = 95,            // console hv_save_output button and menu m_save_output
};
static_assert(int(ID_ABOUT) >= int(FX::FXMainWindow::ID_LAST),
              "the window's fixed IDs must not overlap FXMainWindow's own");

// How often the port poll timer runs. The box's bytes do not wait for it:
// the event loop watches the port and hands them over as they come. The
// timer only picks up a port opened since, and shows the end of a burn.
constexpr FX::FXuint kPollIntervalMs = 100;

}  // namespace tv
