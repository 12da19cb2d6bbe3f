#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct ReadCase {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  const char* expected;
};

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, FindsValueOrDefault) {
  TempDir dir;
  const auto path = dir / "t.ini";
  WriteFile(path, GetParam().content);
  EXPECT_EQ(IniFile(path).Read(GetParam().section, GetParam().key, "<default>"),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Semantics, IniReadTest,
    ::testing::Values(
        ReadCase{"Exact", "[A]\nk=v\n", "A", "k", "v"},
        ReadCase{"SectionIgnoresCase", "[English]\nk=v\n", "ENGLISH", "k", "v"},
        ReadCase{"KeyIgnoresCase", "[A]\nStr_Key=v\n", "A", "STR_KEY", "v"},
        ReadCase{"TrimsKeyAndValue", "[A]\n  k \t=  v w \t\n", "A", "k", "v w"},
        ReadCase{"TrimsSectionName", "[ A ]\nk=v\n", "A", "k", "v"},
        ReadCase{"BomBeforeFirstSection", "\xEF\xBB\xBF[A]\nk=v\n", "A", "k", "v"},
        ReadCase{"CrLfLines", "[A]\r\nk=v\r\n", "A", "k", "v"},
        ReadCase{"NoFinalLineBreak", "[A]\nk=v", "A", "k", "v"},
        ReadCase{"ValueWithEquals", "[A]\nk=a=b\n", "A", "k", "a=b"},
        ReadCase{"EmptyValueIsNotMissing", "[A]\nk=\n", "A", "k", ""},
        ReadCase{"DoubleQuotesKeepBlanks", "[A]\nk=\"  Loginout\"\n", "A", "k", "  Loginout"},
        ReadCase{"SingleQuotes", "[A]\nk='x '\n", "A", "k", "x "},
        ReadCase{"InnerQuotesKept", "[A]\nk=about us \"Device\" information\n", "A", "k",
                 "about us \"Device\" information"},
        ReadCase{"FirstOfTwoKeys", "[A]\nk=1\nk=2\n", "A", "k", "1"},
        ReadCase{"CommentIsNoKey", "[A]\n;k=1\n", "A", "k", "<default>"},
        ReadCase{"KeyOfOtherSection", "[A]\nx=1\n[B]\nk=2\n", "A", "k", "<default>"},
        ReadCase{"MissingSection", "[A]\nk=1\n", "B", "k", "<default>"},
        ReadCase{"MissingKey", "[A]\nk=1\n", "A", "j", "<default>"},
        ReadCase{"KeyBeforeAnySection", "k=1\n[A]\n", "A", "k", "<default>"},
        ReadCase{"LineWithoutEquals", "[A]\nk\n", "A", "k", "<default>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, MissingFileGivesDefaultAndNoSections) {
  TempDir dir;
  const IniFile ini(dir / "absent.ini");
  EXPECT_EQ(ini.Read("SYSTEM", "DefaultLanguage", "English"), "English");
  EXPECT_TRUE(ini.SectionNames().empty());
}

TEST(IniFile, LongValueIsCutTo254Characters) {
  TempDir dir;
  const auto path = dir / "t.ini";
  WriteFile(path, "[A]\nascii=" + std::string(300, 'x') + "\nwide=" + [] {
    std::string s;
    for (int i = 0; i < 300; ++i) s += "\xE8\xA3\x9D";  // a three-byte character
    return s;
  }() + "\n");
  const IniFile ini(path);
  EXPECT_EQ(ini.Read("A", "ascii", ""), std::string(254, 'x'));
  const std::string wide = ini.Read("A", "wide", "");
  EXPECT_EQ(wide.size(), 254u * 3) << "cut by characters, never inside one";
}

TEST(IniFile, SectionNamesInFileOrderOnceEach) {
  TempDir dir;
  const auto path = dir / "t.ini";
  WriteFile(path, "\xEF\xBB\xBF[TChinese]\na=1\n[English]\n; [Commented]\n[tchinese]\n[ Deutsch ]\n");
  EXPECT_EQ(IniFile(path).SectionNames(),
            (std::vector<std::string>{"TChinese", "English", "Deutsch"}));
  EXPECT_EQ(IniFile(path).KeyNames("TCHINESE"), (std::vector<std::string>{"a"}));
}

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

class IniWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyWhatIsWritten) {
  TempDir dir;
  const auto path = dir / "t.ini";
  if (!GetParam().before.empty()) WriteFile(path, GetParam().before);
  const IniFile ini(path);
  ASSERT_TRUE(ini.Write(GetParam().section, GetParam().key, GetParam().value));
  EXPECT_EQ(ReadFile(path), GetParam().after);
  EXPECT_EQ(ini.Read(GetParam().section, GetParam().key, "<default>"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, IniWriteTest,
    ::testing::Values(
        WriteCase{"CreatesFile", "", "SYSTEM", "DefaultLanguage", "TChinese",
                  "[SYSTEM]\nDefaultLanguage=TChinese\n"},
        WriteCase{"ReplacesValueKeepsKeySpelling",
                  "; settings\n[system]\n  defaultlanguage = English  \nother=1\n", "SYSTEM",
                  "DefaultLanguage", "TChinese",
                  "; settings\n[system]\ndefaultlanguage=TChinese\nother=1\n"},
        WriteCase{"AddsKeyAfterLastKeyOfSection",
                  "[USERNAME]\n111=a\n\n; next\n[SYSTEM]\nDefaultLanguage=English\n", "USERNAME",
                  "222", "b",
                  "[USERNAME]\n111=a\n222=b\n\n; next\n[SYSTEM]\nDefaultLanguage=English\n"},
        WriteCase{"AddsSectionAtEnd", "[SYSTEM]\nDefaultLanguage=English", "USERNAME", "111", "a",
                  "[SYSTEM]\nDefaultLanguage=English\n\n[USERNAME]\n111=a\n"},
        WriteCase{"KeepsCrLf", "[A]\r\nk=1\r\n", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
        WriteCase{"KeepsBom", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
        WriteCase{"EmptySection", "[A]\n[B]\n", "A", "k", "1", "[A]\nk=1\n[B]\n"},
        WriteCase{"QuotesPaddedValue", "[A]\n", "A", "k", " padded ", "[A]\nk=\" padded \"\n"},
        WriteCase{"QuotesQuotedValue", "[A]\n", "A", "k", "\"q\"", "[A]\nk=\"\"q\"\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadWriteCase {
  const char* name;
  const char* section;
  const char* key;
  const char* value;
};

class IniBadWriteTest : public ::testing::TestWithParam<BadWriteCase> {};

TEST_P(IniBadWriteTest, RefusedAndFileUntouched) {
  TempDir dir;
  const auto path = dir / "t.ini";
  const std::string before = "[A]\nk=1\n";
  WriteFile(path, before);
  const Status s = IniFile(path).Write(GetParam().section, GetParam().key, GetParam().value);
  EXPECT_FALSE(s);
  EXPECT_FALSE(s.error().empty());
  EXPECT_EQ(ReadFile(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, IniBadWriteTest,
    ::testing::Values(BadWriteCase{"LineFeedInValue", "A", "k", "x\n[B]"},
                      BadWriteCase{"CarriageReturnInValue", "A", "k", "x\ry"},
                      BadWriteCase{"EqualsInKey", "A", "a=b", "1"},
                      BadWriteCase{"EmptyKey", "A", " ", "1"},
                      BadWriteCase{"BracketInSection", "A]x", "k", "1"},
                      BadWriteCase{"EmptySection", "", "k", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, FailedWriteIsReportedAndHarmsNothing) {
  TempDir dir;
  WriteFile(dir / "file", "not a folder");
  const IniFile ini(dir / "file" / "system.ini");
  const Status s = ini.Write("SYSTEM", "DefaultLanguage", "English");
  EXPECT_FALSE(s);
  EXPECT_NE(s.error().find("system.ini"), std::string::npos) << s.error();
  EXPECT_EQ(ReadFile(dir / "file"), "not a folder");
}

TEST(IniFile, WriteCreatesMissingFolder) {
  TempDir dir;
  const auto path = dir / "a" / "b" / "system.ini";
  ASSERT_TRUE(IniFile(path).Write("SYSTEM", "DefaultLanguage", "English"));
  EXPECT_EQ(IniFile(path).Read("system", "defaultlanguage", ""), "English");
}

// system.ini and Languages.lng are read by every command and window: a FIFO
// would hang each of them, a huge file flood them. Neither is read; the
// defaults count, a write is refused, and Check says why, naming the file.
// (Pipes and devices: ini_file_posix_test.cpp, ini_file_win32_test.cpp.)
std::string Sections(int count, int keysEach) {
  std::string text;
  for (int s = 0; s < count; ++s) {
    text += "[L" + std::to_string(s) + "]\n";
    for (int k = 0; k < keysEach; ++k) text += "K" + std::to_string(k) + "=x\n";
  }
  return text;
}

struct UnusableCase {
  const char* name;
  std::function<std::string()> content;
  const char* why;
};

class UnusableIni : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableIni, IsRefusedWithAMessage) {
  TempDir dir;
  WriteFile(dir / "system.ini", GetParam().content());
  testing::ExpectUnusableIni(dir / "system.ini", GetParam().why);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableIni,
    ::testing::Values(
        UnusableCase{"huge", [] { return "[SYSTEM]\nDefaultLanguage=TChinese\n" + std::string(IniFile::kMaxFileBytes, ';'); },
                     "larger than 1 MiB"},
        // 10,000 sections in under 1 MiB: a window offering each as a language would freeze.
        UnusableCase{"10000_sections", [] { return "[SYSTEM]\nDefaultLanguage=TChinese\n" + Sections(10000, 1); },
                     "more than 256 sections"},
        UnusableCase{"keys", [] { return "[SYSTEM]\nDefaultLanguage=TChinese\n" + Sections(1, 4097); },
                     "more than 4096 keys in one section"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, FilesWithinTheLimitsAreUsedAndKeptThere) {
  TempDir dir;
  EXPECT_TRUE(IniFile(dir / "missing.ini").Check().ok());
  WriteFile(dir / "real.ini", "[A]\nk=1\n");
  EXPECT_TRUE(IniFile(dir / "real.ini").Check().ok());
  WriteFile(dir / "full.ini", Sections(256, 1) + Sections(0, 0));
  const IniFile full(dir / "full.ini");
  ASSERT_TRUE(full.Check().ok());
  EXPECT_EQ(full.SectionNames().size(), 256u);
  // A write never makes a file that would be refused.
  EXPECT_FALSE(full.Write("another", "k", "v").ok());
  EXPECT_TRUE(full.Write("L0", "K0", "y").ok());
  WriteFile(dir / "keys.ini", Sections(1, 4096));
  EXPECT_FALSE(IniFile(dir / "keys.ini").Write("L0", "new", "v").ok());
  EXPECT_TRUE(IniFile(dir / "keys.ini").Check().ok());
}

}  // namespace
}  // namespace zd573::settings
