#include "text/ui_text.h"

#include "text/catalogue.h"

namespace tv {

FX::FXString ui_text(const char* key) { return FX::FXString(lang_text_utf8(key).c_str()); }

}  // namespace tv
