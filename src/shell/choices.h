// The lists of ports and languages the window offers. The settings page's
// boxes choose from them; the console's boxes start with the same items until
// the configuration lists replace them.
#pragma once

namespace tv {

inline constexpr const char* kPortChoices[] = {"com1", "com2", "com3", "com4", "com5", "com6", "com7"};
// A stored language is one of these: its name, a blank and the ending of its
// language file ("lang.ru").
inline constexpr const char* kLanguageChoices[] = {"ENGLISH en", "RUSSIAN ru", "RUSSIAN_KOI8 r8"};

}  // namespace tv
