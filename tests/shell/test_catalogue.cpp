// The language file: lookups, the cleaning of line ends and "~", loading once,
// and the code-page conversion for display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "base/trace.h"
#include "support/temp_dir.h"
#include "text/catalogue.h"

namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::reset_catalogue_for_tests();
  }
  void TearDown() override { tv::reset_catalogue_for_tests(); }

  // Writes the file and points the catalogue at it.
  void use_file(const std::string& name, const std::string& bytes) {
    std::string path = dir_.file(name);
    ASSERT_TRUE(testsupport::write_file(path, bytes)) << path;
    tv::set_language_file(path.c_str());
  }
  std::string text(const char* key) { return lang_text(key); }

  testsupport::TempDir dir_{"shell"};
};

TEST_F(CatalogueTest, FindsTheTextOfAKeyOnTheThirdLine) {
  use_file("lang.en", "m_Title=TV Box\nm_menu=File\nhv_save=Save\n");
  EXPECT_EQ(text("hv_save"), "Save");
  EXPECT_EQ(text("m_Title"), "TV Box");
  EXPECT_EQ(text("m_menu"), "File");
}

TEST_F(CatalogueTest, CarriageReturnLeavesOneTrailingBlank) {
  use_file("lang.en", "m_Title=TV Box\r\nm_menu=File\r\nhv_save=Save\r\n");
  EXPECT_EQ(text("hv_save"), "Save ");
}

TEST_F(CatalogueTest, OtherControlBytesBecomeBlanksButTabStays) {
  use_file("lang.en",
           "hv_on=a\x01"
           "b\tTip\n");
  EXPECT_EQ(text("hv_on"), "a b\tTip");
}

TEST_F(CatalogueTest, TildeBecomesALineBreak) {
  use_file("lang.en", "m_about_f=About~Box\n");
  EXPECT_EQ(text("m_about_f"), "About\nBox");
}

TEST_F(CatalogueTest, LastLineWithoutLineFeedIsStillATerminatedText) {
  use_file("lang.en", "a=1\nlast=tail");
  EXPECT_EQ(text("last"), "tail");
}

TEST_F(CatalogueTest, FirstOfTwoEntriesWins) {
  use_file("lang.en", "hv_up=Up\nhv_up=Higher\n");
  EXPECT_EQ(text("hv_up"), "Up");
}

TEST_F(CatalogueTest, KeyInsideALongerKeyIsNotMatched) {
  use_file("lang.en", "xTest=A\nTest=B\n");
  EXPECT_EQ(text("Test"), "B");
  EXPECT_EQ(text("xTest"), "A");
}

TEST_F(CatalogueTest, KeyInsideAnotherTextIsNotMatched) {
  use_file("lang.en", "hint=use Test=X here\n");
  EXPECT_EQ(text("Test"), "");
}

TEST_F(CatalogueTest, MissingKeyAndLineWithoutEqualsGiveEmptyText) {
  use_file("lang.en", "hv_save\nm_menu=File\n");
  EXPECT_STREQ(lang_text("hv_save"), "");
  EXPECT_STREQ(lang_text("nothing"), "");
  EXPECT_NE(lang_text(nullptr), nullptr);
}

TEST_F(CatalogueTest, EmptyFileAnswersEveryLookupWithEmptyText) {
  use_file("lang.en", "");
  EXPECT_STREQ(lang_text("m_Title"), "");
  // Loaded now: a file written later is not read.
  testsupport::write_file(_r_fn, "m_Title=Late\n");
  EXPECT_STREQ(lang_text("m_Title"), "");
}

TEST_F(CatalogueTest, MissingFileIsTriedAgainOnTheNextLookup) {
  std::string path = dir_.file("lang.ru");
  tv::set_language_file(path.c_str());
  EXPECT_STREQ(lang_text("m_Title"), "");
  testsupport::write_file(path, "m_Title=Here\n");
  EXPECT_STREQ(lang_text("m_Title"), "Here");
}

TEST_F(CatalogueTest, RemovingTheFileAfterTheFirstLookupChangesNothing) {
  use_file("lang.en", "m_Title=Kept\n");
  const char* first = lang_text("m_Title");
  ASSERT_EQ(unlink(_r_fn), 0);
  tv::set_language_file("/nonexistent/lang.xx");
  EXPECT_STREQ(lang_text("m_Title"), "Kept");
  EXPECT_EQ(lang_text("m_Title"), first);  // the same text, still valid
}

TEST_F(CatalogueTest, OverLongFileNameIsCutNotOverflowed) {
  std::string long_name(500, 'n');
  tv::set_language_file(long_name.c_str());
  EXPECT_EQ(std::strlen(_r_fn), kLangFileNameSize - 1);
  EXPECT_EQ(std::string(_r_fn), long_name.substr(0, kLangFileNameSize - 1));
  EXPECT_STREQ(lang_text("m_Title"), "");
}

TEST_F(CatalogueTest, Windows1251CaptionConvertsToUtf8) {
  // "Настройки" in Windows-1251.
  use_file("lang.ru", "hv_settings=\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8\n");
  EXPECT_EQ(tv::lang_text_utf8("hv_settings"), "Настройки");
}

TEST_F(CatalogueTest, Koi8CaptionConvertsToUtf8) {
  // "Настройки" in KOI8-R.
  use_file("lang.r8", "hv_settings=\xEE\xC1\xD3\xD4\xD2\xCF\xCA\xCB\xC9\n");
  EXPECT_EQ(tv::lang_text_utf8("hv_settings"), "Настройки");
}

// The shipped language files: every key the program looks up is there, with
// a text, and the two Russian files say the same in their own code pages.
const char* const kAllKeys[] = {
    "m_Title", "m_menu", "m_quit", "m_help", "m_doc", "m_about", "m_about_f", "comm_sw", "Test", "hv_load",
    "hv_file", "hv_open", "hv_rec", "hv_recall", "hv_channels", "search", "hv_name", "hv_frek", "hv_up",
    "hv_down", "hv_saveall", "hv_on", "hv_actions", "hv_settings", "hv_com_port", "hv_lang", "hv_flash_delay",
    "hv_sysfont_delay", "hv_commands", "hv_save", "ctr_first", "ctr_prev", "ctr_next", "ctr_last", "ctr_sb",
    "ctr_ib", "ctr_new", "ctr_sav", "ctr_del", "ctr_sbac", "ctr_sfor", "ctr_sinc", "ctr_adds", "ctr_dels",
    "ctr_qu",
    // Messages of the program's own: port problems, refusals, failures.
    "m_port_open", "m_ctrl_open", "m_port_nodev", "m_port_denied", "m_port_busy", "m_port_notty",
    "m_port_setup", "m_port_hangup", "m_save_failed", "m_close_burning", "m_console_burning",
    "m_control_burning", "m_burn_control", "m_burn_failed", "m_scaler_no0", "m_scaler_wo0", "hv_ctl_line",
    "hv_ctl_query", "hv_ctl_test", "hv_ctl_rts", "hv_ctl_cancel", "m_ready", "hv_verify", "hv_log_saved",
    "hv_log_failed", "m_burn_faulty", "m_burn_anyway_cap", "m_burn_anyway", "m_port_hung", "m_lamp_black",
    // The burn's Stop button and status line.
    "hv_stop", "m_st_at", "m_st_left", "m_st_wait_flash", "m_st_wait_font", "m_st_done", "m_st_failed",
    "m_st_stopped", "m_no_section", "m_no_sections", "m_help_failed",
    // Resuming a burn that failed or was stopped.
    "hv_resume", "m_resume_none",
    // The saved log of a compare or a backup.
    "hv_read_log_saved", "hv_read_log_failed",
    // Whether a completed burn was read back.
    "m_burn_verified", "m_burn_not_verified", "m_burn_unreadable",
    // A second job refused while the programming port is in use.
    "m_port_in_use",
    // The console's record and its saved output.
    "hv_record", "hv_record_to", "hv_save_output", "m_record", "m_save_output", "m_save_output_cap",
    "m_record_failed", "m_output_failed"};

std::string shipped_file(const char* name) { return std::string(TVBOX_SOURCE_DIR) + "/data/" + name; }

TEST_F(CatalogueTest, ShippedFilesHaveEveryKeyOnce) {
  for (const char* name : {"lang.en", "lang.ru", "lang.r8"}) {
    // A key written twice answers with only one of its texts: the other
    // message is never shown.
    std::ifstream file(shipped_file(name), std::ios::binary);
    std::set<std::string> keys;
    for (std::string line; std::getline(file, line);) {
      const size_t equals = line.find('=');
      if (equals == std::string::npos || line[0] == '#' || line[0] == ';') continue;
      EXPECT_TRUE(keys.insert(line.substr(0, equals)).second)
          << name << " has " << line.substr(0, equals) << " twice";
    }
    tv::reset_catalogue_for_tests();
    tv::set_language_file(shipped_file(name).c_str());
    for (const char* key : kAllKeys) {
      EXPECT_STRNE(lang_text(key), "") << name << " lacks " << key;
    }
    // A menu entry's text is "caption\taccelerator\thelp": a tip in the
    // middle would show beside the caption as if it were a key.
    for (const char* key :
         {"m_quit", "m_doc", "m_about", "m_backup", "m_add_box", "m_record", "m_save_output"}) {
      const std::string text = lang_text(key);
      const size_t tab = text.find('\t');
      if (tab == std::string::npos) continue;
      const std::string accelerator = text.substr(tab + 1, text.find('\t', tab + 1) - tab - 1);
      EXPECT_TRUE(accelerator.empty() || accelerator.rfind("Ctrl-", 0) == 0) << name << " " << key;
    }
  }
}

TEST_F(CatalogueTest, RussianFilesAgreeAfterConversion) {
  std::map<std::string, std::string> cp1251;
  tv::set_language_file(shipped_file("lang.ru").c_str());
  for (const char* key : kAllKeys) cp1251[key] = tv::lang_text_utf8(key);
  tv::reset_catalogue_for_tests();
  tv::set_language_file(shipped_file("lang.r8").c_str());
  for (const char* key : kAllKeys) EXPECT_EQ(tv::lang_text_utf8(key), cp1251[key]) << key;
  EXPECT_EQ(cp1251["hv_settings"], "Настройки\tНастройки программы\tПорт, язык и задержки прошивки");
}

}  // namespace

namespace {

// Generated files: keys that share prefixes and suffixes with each other and
// texts of arbitrary bytes; every key gives the text of its first line, and
// lookups never run off the buffer.
TEST_F(CatalogueTest, GeneratedFilesGiveTheFirstTextOfEachKey) {
  unsigned seed = 12345;
  auto next = [&seed](unsigned range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  for (int round = 0; round < 40; ++round) {
    tv::reset_catalogue_for_tests();
    std::map<std::string, std::string> first_text;
    std::string file;
    int lines = 1 + static_cast<int>(next(30));
    for (int i = 0; i < lines; ++i) {
      std::string key = std::string(1 + next(3), 'k') + std::to_string(next(6));
      if (next(4) == 0) key = "x" + key;  // a longer key holding a shorter one
      std::string text;
      int length = static_cast<int>(next(20));
      for (int j = 0; j < length; ++j) {
        char byte = static_cast<char>(0x20 + next(0xE0));
        if (byte == '~') byte = 't';
        text += byte;
      }
      first_text.emplace(key, text);  // keeps the first
      file += key + "=" + text + (next(2) ? "\r\n" : "\n");
      if (next(5) == 0) file += "a line without equals\n";
    }
    file.pop_back();  // the last line ends without its line feed
    use_file("lang.en", file);
    for (const auto& entry : first_text) {
      std::string got = text(entry.first.c_str());
      if (!got.empty() && got.back() == ' ' && got.size() == entry.second.size() + 1) got.pop_back();
      EXPECT_EQ(got, entry.second) << "round " << round << " key " << entry.first;
    }
  }
}

}  // namespace
