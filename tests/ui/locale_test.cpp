#include "ui/locale.h"

#include <gtest/gtest.h>

#include <clocale>

#include "support/child.h"

namespace {

// The tag and the process locale that GetLocale leaves under LANG=lang.
std::string TagUnder(const char* lang) {
  return test::InChild([lang] {
    test::UseLocaleEnvironment(lang);
    std::string tag = GetLocale();
    return tag + " " + setlocale(LC_ALL, nullptr);
  });
}

TEST(GetLocale, TagsOfTheBuiltInLocales) {
  EXPECT_EQ(TagUnder(nullptr), "en C");
  EXPECT_EQ(TagUnder("C"), "en C");
  EXPECT_EQ(TagUnder("POSIX"), "en C");
  EXPECT_EQ(TagUnder("no_SUCH.locale"), "en C");
}

TEST(GetLocale, TagsOfLanguageAndCountryNames) {
  for (const char* l : {"ja_JP.eucJP", "es_ES.ISO8859-1", "fr_CA", "en_GB", "ja", "es", "xx_YY"})
    if (!test::HaveLocale(l)) return;
  EXPECT_EQ(TagUnder("ja_JP.eucJP"), "ja_JP ja_JP.eucJP");
  EXPECT_EQ(TagUnder("es_ES.ISO8859-1"), "es_ES es_ES.ISO8859-1");
  EXPECT_EQ(TagUnder("fr_CA"), "fr_CA fr_CA");
  EXPECT_EQ(TagUnder("en_GB"), "en_GB en_GB");
  // Bare names go through the alias table.
  EXPECT_EQ(TagUnder("ja"), "ja_JP ja");
  EXPECT_EQ(TagUnder("es"), "es_ES es");
  // A locale whose language and country no table knows.
  EXPECT_EQ(TagUnder("xx_YY"), "en xx_YY");
}

TEST(GetLocale, PrefersThePlainFormOfEuroAndUtf8Locales) {
  for (const char* l : {"de_DE@euro", "de_DE", "es_ES.UTF-8", "es_ES"})
    if (!test::HaveLocale(l)) return;
  EXPECT_EQ(TagUnder("de_DE@euro"), "de_DE de_DE");
  EXPECT_EQ(TagUnder("es_ES.UTF-8"), "es_ES es_ES");
  EXPECT_EQ(TagUnder("es_ES.utf8"), "es_ES es_ES");
}

TEST(GetLocale, AUtf8LocaleWithoutItsPlainFormFallsBackToC) {
  if (!test::HaveLocale("en_US.UTF-8")) return;
  // en_US alone is not installed; only its UTF-8 form is.
  ASSERT_EQ(test::InChild([] { return std::string(setlocale(LC_ALL, "en_US") ? "yes" : "no"); }), "no");
  EXPECT_EQ(TagUnder("en_US.UTF-8"), "en C");
}

TEST(GetLocale, ASecondCallReturnsTheCachedTag) {
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("C");
              const char* first = GetLocale();
              setlocale(LC_ALL, "POSIX");
              return std::string(first == GetLocale() ? "same" : "different");
            }),
            "same");
}

TEST(UpdateLocale, DerivesTheTagFromTheLocaleInForce) {
  if (!test::HaveLocale("es_ES.ISO8859-1")) return;
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("es_ES.ISO8859-1");
              std::string before = GetLocale();
              setlocale(LC_ALL, "C");
              std::string after = UpdateLocale();
              // The environment is not read again: the process stays in "C".
              return before + " " + after + " " + GetLocale() + " " + setlocale(LC_ALL, nullptr);
            }),
            "es_ES en en C");
}

TEST(MapLookup, FindsTheFirstEqualKeyOnly) {
  const char* const table[] = {"a", "1", "b", "2", "a", "3", ""};
  const char* const empty[] = {""};
  const char* out = "untouched";
  EXPECT_TRUE(MapLookup(table, "a", &out));
  EXPECT_STREQ(out, "1");
  EXPECT_TRUE(MapLookup(table, "b", &out));
  EXPECT_STREQ(out, "2");
  out = "untouched";
  EXPECT_FALSE(MapLookup(table, "A", &out));
  EXPECT_FALSE(MapLookup(table, "1", &out));
  EXPECT_FALSE(MapLookup(empty, "a", &out));
  EXPECT_STREQ(out, "untouched");
}

}  // namespace
