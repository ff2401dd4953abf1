#include "text/ui_text.h"

#include "text/catalogue.h"

namespace tv {

FX::FXString ui_text(const char* key) { return FX::FXString(lang_text_utf8(key).c_str()); }

FX::FXString ui_text_or(const char* key, const char* english) {
  FX::FXString text = ui_text(key);
  return text.empty() ? FX::FXString(english) : text;
}

}  // namespace tv
