// The engine's log lines in the window's language: every sentence the window
// knows comes out in the Russian words of both Russian language files with
// its variable parts intact, the English file gives the engine's own bytes
// back, and a line of no known sentence passes unchanged.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "burn/log_sentences.h"
#include "shell/burn_log_text.h"
#include "text/catalogue.h"

namespace {

std::string data_file(const char* name) { return std::string(TVBOX_SOURCE_DIR) + "/data/" + name; }

void use_language(const char* name) {
  tv::reset_catalogue_for_tests();
  tv::set_language_file(data_file(name).c_str());
}

// Parts no sentence's own words contain, so each can be found again.
std::vector<std::string> marked_parts(const char* pattern) {
  std::vector<std::string> parts;
  for (const char* at = pattern; (at = std::strstr(at, "{}")); at += 2)
    parts.push_back("Q" + std::to_string(parts.size()) + "Q");
  return parts;
}

std::string filled(const char* pattern, const std::vector<std::string>& parts) {
  switch (parts.size()) {
    case 0: return tv::fill_sentence(pattern);
    case 1: return tv::fill_sentence(pattern, {parts[0]});
    case 2: return tv::fill_sentence(pattern, {parts[0], parts[1]});
    case 3: return tv::fill_sentence(pattern, {parts[0], parts[1], parts[2]});
    case 4: return tv::fill_sentence(pattern, {parts[0], parts[1], parts[2], parts[3]});
    case 5: return tv::fill_sentence(pattern, {parts[0], parts[1], parts[2], parts[3], parts[4]});
    default: return tv::fill_sentence(pattern, {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]});
  }
}

// A piece (no line end) is only ever a part of a sentence: it is shown as
// the part of the one sentence that takes any text.
std::string as_line(const std::string& text) {
  if (!text.empty() && text.back() == '\n') return text;
  return tv::fill_sentence(tv::sentence::kBurnFailed, {text});
}

// An English word left in a Russian line: four lower-case Latin letters in a
// row (the parts here are upper-case; stage names and "0x" are not words).
bool has_english_word(const std::string& text) {
  int run = 0;
  for (char c : text) {
    run = std::islower(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run >= 4) return true;
  }
  return false;
}

class BurnLogTextTest : public ::testing::Test {
 protected:
  void TearDown() override { tv::reset_catalogue_for_tests(); }

  // Each known sentence and piece, filled with marked parts, as shown.
  std::vector<std::string> shown_lines() {
    std::vector<std::string> shown;
    for (const tv::BurnLogRendering& rendering : tv::burn_log_renderings())
      shown.push_back(
          tv::window_language_line(as_line(filled(rendering.english, marked_parts(rendering.english)))));
    return shown;
  }
};

TEST_F(BurnLogTextTest, EverySentenceIsSaidInRussianWithItsPartsInOrder) {
  use_language("lang.ru");
  const std::vector<std::string> cp1251 = shown_lines();
  const auto& table = tv::burn_log_renderings();
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string english = as_line(filled(table[i].english, marked_parts(table[i].english)));
    const std::string& russian = cp1251[i];
    SCOPED_TRACE(english);
    EXPECT_NE(russian, english);
    EXPECT_FALSE(has_english_word(russian)) << russian;
    EXPECT_EQ(russian.back(), '\n');
    size_t at = 0;
    for (const std::string& part : marked_parts(table[i].english)) {
      at = russian.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << " lost in " << russian;
    }
  }
  // The KOI8-R file says the same, once both are UTF-8.
  use_language("lang.r8");
  EXPECT_EQ(shown_lines(), cp1251);
}

TEST_F(BurnLogTextTest, EnglishFileGivesTheEnginesOwnBytesBack) {
  use_language("lang.en");
  for (const tv::BurnLogRendering& rendering : tv::burn_log_renderings()) {
    const std::string line = as_line(filled(rendering.english, marked_parts(rendering.english)));
    EXPECT_EQ(tv::window_language_line(line), line);
  }
}

TEST_F(BurnLogTextTest, LinesAsTheEngineWritesThemAndLinesItDoesNotKnow) {
  use_language("lang.ru");
  using namespace tv::sentence;
  const std::string where = tv::fill_sentence(kWaitBefore, {"FLASH"});
  const std::string stopped = tv::window_language_line(tv::fill_sentence(kStoppedIn, {where}));
  EXPECT_EQ(stopped, "Прошивка остановлена: пауза перед FLASH.\n");
  const std::string refused = tv::window_language_line(
      tv::fill_sentence(kRefused, {"OSD RusFont", tv::fill_sentence(kWhatRecord, {"03F0", "17"}), "5"}));
  EXPECT_EQ(refused, "OSD RusFont: запись по адресу 03F0 (строка 17): приставка отказала 5 раз.\n");
  // The stages' own lines keep the words of the original program, and a
  // sentence the engine does not write is not half-translated.
  for (const char* line : {"Burning PIC...\n", "PIC Burned OK!\n", "ERROR !\n", "Burning failed\n",
                           "The burn was stopped in FLASH at 0320\n", "Saved at 12:00.\n", ""})
    EXPECT_EQ(tv::window_language_line(line), line);
  // Without the sentence in the language file the English stays.
  tv::reset_catalogue_for_tests();
  tv::set_language_file("no-such-language-file");
  const std::string line = tv::fill_sentence(kBurnFailed, {"FLASH"});
  EXPECT_EQ(tv::window_language_line(line), line);
}

}  // namespace
