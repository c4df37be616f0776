#include "core/mbstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/child.h"

namespace {

// Runs the searches on s under lang and reports the positions found
// ("-" for null), as "first last".
std::string Positions(const char* lang, const std::string& s, int c) {
  return test::InChild([&] {
    test::UseLocaleEnvironment(lang);
    const char* first = _strchr(s.c_str(), c);
    const char* last = _strrchr(s.c_str(), c);
    auto at = [&](const char* p) { return p ? std::to_string(p - s.c_str()) : std::string("-"); };
    return at(first) + " " + at(last);
  });
}

TEST(MultibyteSearch, SingleByteLocaleBehavesLikeTheStandardSearches) {
  EXPECT_EQ(Positions("C", "a/b/c", '/'), "1 3");
  // UTF-8 bytes in the C locale: "données/é/x".
  EXPECT_EQ(Positions("C", "donn\xc3\xa9" "es/\xc3\xa9/x", '/'), "8 11");
  EXPECT_EQ(Positions("C", "abc", '/'), "- -");
  // The terminator: never found by _strchr, found by _strrchr.
  EXPECT_EQ(Positions("C", "abc", '\0'), "- 3");
  EXPECT_EQ(Positions("C", "", '/'), "- -");
  EXPECT_EQ(_strchr(nullptr, '/'), nullptr);
  EXPECT_EQ(_strrchr(nullptr, '/'), nullptr);
}

TEST(MultibyteSearch, FindsASlashRightAfterATwoByteCharacter) {
  if (!test::HaveLocale("ja_JP.eucJP")) return;
  // "日本/x" in EUC-JP.
  EXPECT_EQ(Positions("ja_JP.eucJP", "\xc6\xfc\xcb\xdc/x", '/'), "4 4");
}

TEST(MultibyteSearch, NeverStopsAtTheSecondByteOfACharacter) {
  if (!test::HaveLocale("zh_TW.BIG5")) return;
  // "許功" in BIG5 is b3 5c a5 5c: both second bytes are a backslash.
  EXPECT_EQ(Positions("zh_TW.BIG5", "\xb3\x5c\xa5\x5c", '\\'), "- -");
  EXPECT_EQ(Positions("zh_TW.BIG5", "\xb3\x5c\\\xa5\x5c\\", '\\'), "2 5");
  // In the C locale the same bytes are separate characters.
  EXPECT_EQ(Positions("C", "\xb3\x5c\xa5\x5c", '\\'), "1 3");
}

TEST(MultibyteSearch, AnInvalidSequenceHidesEverythingBehindIt) {
  if (!test::HaveLocale("ja_JP.eucJP")) return;
  EXPECT_EQ(Positions("ja_JP.eucJP", "ab\xff/cd", '/'), "- -");
  EXPECT_EQ(Positions("ja_JP.eucJP", "a/b\xff/cd", '/'), "1 1");
}

TEST(IsMultiByteChar, IndexZeroIsAlwaysACharacterStart) {
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("C");
              return std::string(IsMultiByteChar("\xff", 0) ? "1" : "0") + (IsMultiByteChar("ab", 2) ? "1" : "0");
            }),
            "11");
}

}  // namespace
