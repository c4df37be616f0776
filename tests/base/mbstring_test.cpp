#include "base/mbstring.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child.h"

namespace {

// The positions _strchr and _strrchr find for c in s under lang ("-" for
// none), as "first last".
std::string Positions(const char* lang, const std::string& s, int c) {
  return test::InChild([&] {
    test::UseLocaleEnvironment(lang);
    auto at = [&](const char* p) { return p ? std::to_string(p - s.c_str()) : std::string("-"); };
    return at(_strchr(s.c_str(), c)) + " " + at(_strrchr(s.c_str(), c));
  });
}

TEST(MultibyteSearch, FindsOnlyBytesThatBeginACharacter) {
  for (const char* l : {"ja_JP.eucJP", "zh_TW.BIG5"})
    if (!test::HaveLocale(l)) return;
  const struct {
    const char* lang;
    std::string s;
    int c;
    const char* found;
  } cases[] = {
      {"C", "a/b/c", '/', "1 3"},
      // UTF-8 bytes in the C locale: every byte is a character.
      {"C", "donn\xc3\xa9" "es/\xc3\xa9/x", '/', "8 11"},
      {"C", "abc", '/', "- -"},
      {"C", "", '/', "- -"},
      // The terminator: never found by _strchr, found by _strrchr.
      {"C", "abc", '\0', "- 3"},
      // "日本/x" in EUC-JP: the separator right after two-byte characters.
      {"ja_JP.eucJP", "\xc6\xfc\xcb\xdc/x", '/', "4 4"},
      // "許功" in BIG5 is b3 5c a5 5c: both second bytes are a backslash.
      {"zh_TW.BIG5", "\xb3\x5c\xa5\x5c", '\\', "- -"},
      {"zh_TW.BIG5", "\xb3\x5c\\\xa5\x5c\\", '\\', "2 5"},
      {"C", "\xb3\x5c\xa5\x5c", '\\', "1 3"},
      // A byte that begins no valid character counts as one: the walk goes on.
      {"ja_JP.eucJP", "ab\xff/cd", '/', "3 3"},
      {"ja_JP.eucJP", "a/b\xff\xc6\xfc/cd", '/', "1 6"},
  };
  for (const auto& c : cases) EXPECT_EQ(Positions(c.lang, c.s, c.c), c.found) << c.lang << " " << test::Hex(c.s);
  EXPECT_EQ(_strchr(nullptr, '/'), nullptr);
  EXPECT_EQ(_strrchr(nullptr, '/'), nullptr);
}

}  // namespace
