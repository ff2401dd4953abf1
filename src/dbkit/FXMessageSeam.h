// Every message box and question of the program goes through here, so that a
// test can answer it instead of a person and no test ever blocks on a modal
// loop. Without a hook installed, the real FOX message box is shown.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>
#include <string>

namespace tv {

enum class MessageKind { Information, Error, Question, Warning };

struct MessageRecord {
  MessageKind kind;
  std::string caption;
  std::string text;
  FXuint buttons;  // MBOX_OK, MBOX_YES_NO, ...
};

// Returns the answer as FOX's MBOX_CLICKED_* value.
using MessageHook = std::function<FXuint(const MessageRecord&)>;

// Installs a hook (tests); an empty hook restores the real boxes.
void set_message_hook(MessageHook hook);

// Shows a message box owned by `owner` and returns the button clicked
// (MBOX_CLICKED_OK, MBOX_CLICKED_YES, MBOX_CLICKED_NO, ...). Texts are UTF-8.
FXuint show_message(FXWindow* owner, MessageKind kind, FXuint buttons, const FXString& caption,
                    const FXString& text);

// A Yes/No question whose default button is No, so that Enter or Escape
// declines. Through the hook it arrives as a Question with MBOX_YES_NO.
FXuint ask_yes_default_no(FXWindow* owner, const FXString& caption, const FXString& text);

}  // namespace tv
