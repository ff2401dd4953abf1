#include "dbkit/FXMessageSeam.h"

namespace tv {
namespace {

MessageHook& installed_hook() {
  static MessageHook hook;
  return hook;
}

}  // namespace

void set_message_hook(MessageHook hook) { installed_hook() = std::move(hook); }

FXuint show_message(FXWindow* owner, MessageKind kind, FXuint buttons,
                    const FXString& caption, const FXString& text) {
  if (installed_hook()) {
    return installed_hook()(MessageRecord{kind, caption.text(), text.text(), buttons});
  }
  switch (kind) {
    case MessageKind::Error:
      return FXMessageBox::error(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Question:
      return FXMessageBox::question(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Warning:
      return FXMessageBox::warning(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Information:
    default:
      return FXMessageBox::information(owner, buttons, caption.text(), "%s", text.text());
  }
}

}  // namespace tv
