#include "dbkit/FXMessageSeam.h"

namespace tv {
namespace {

MessageHook& installed_hook() {
  static MessageHook hook;
  return hook;
}

}  // namespace

void set_message_hook(MessageHook hook) { installed_hook() = std::move(hook); }

FXuint show_message(FXWindow* owner, MessageKind kind, FXuint buttons, const FXString& caption,
                    const FXString& text) {
  if (installed_hook()) {
    return installed_hook()(MessageRecord{kind, caption.text(), text.text(), buttons});
  }
  switch (kind) {
    case MessageKind::Error: return FXMessageBox::error(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Question:
      return FXMessageBox::question(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Warning:
      return FXMessageBox::warning(owner, buttons, caption.text(), "%s", text.text());
    case MessageKind::Information:
    default: return FXMessageBox::information(owner, buttons, caption.text(), "%s", text.text());
  }
}

FXuint ask_yes_default_no(FXWindow* owner, const FXString& caption, const FXString& text) {
  if (installed_hook())
    return installed_hook()(MessageRecord{MessageKind::Question, caption.text(), text.text(), MBOX_YES_NO});
  // FOX's own box makes Yes the default; this one is built with No as the
  // initial and default button.
  FXDialogBox dialog(owner, caption, DECOR_TITLE | DECOR_BORDER);
  auto* content = new FXVerticalFrame(&dialog, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  new FXLabel(content, text, nullptr, JUSTIFY_LEFT | LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 10, 10, 10,
              10);
  new FXHorizontalSeparator(content, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  auto* buttons = new FXHorizontalFrame(content, LAYOUT_CENTER_X | PACK_UNIFORM_WIDTH);
  const FXuint look = FRAME_RAISED | FRAME_THICK | LAYOUT_CENTER_Y;
  new FXButton(buttons, "&Yes", nullptr, &dialog, FXDialogBox::ID_ACCEPT, BUTTON_DEFAULT | look, 0, 0, 0, 0,
               20, 20);
  new FXButton(buttons, "&No", nullptr, &dialog, FXDialogBox::ID_CANCEL,
               BUTTON_INITIAL | BUTTON_DEFAULT | look, 0, 0, 0, 0, 20, 20);
  return dialog.execute(PLACEMENT_OWNER) ? MBOX_CLICKED_YES : MBOX_CLICKED_NO;
}

}  // namespace tv
