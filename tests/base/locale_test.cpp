#include "base/locale.h"

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

TEST(GetLocale, TagsAndTheLocaleItPutsInForce) {
  for (const char* l : {"ja_JP.eucJP", "es_ES.ISO8859-1", "fr_CA", "en_GB", "ja", "es", "xx_YY", "de_DE@euro",
                        "de_DE", "es_ES.UTF-8", "ja_JP.utf8", "en_US.UTF-8"})
    if (!test::HaveLocale(l)) return;
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "en C"}, {"C", "en C"}, {"POSIX", "en C"}, {"no_SUCH.locale", "en C"},
      {"ja_JP.eucJP", "ja_JP ja_JP.eucJP"}, {"es_ES.ISO8859-1", "es_ES es_ES.ISO8859-1"},
      {"fr_CA", "fr_CA fr_CA"}, {"en_GB", "en_GB en_GB"},
      // Bare names go through the alias table; no table knows xx or YY.
      {"ja", "ja_JP ja"}, {"es", "es_ES es"}, {"xx_YY", "en xx_YY"},
      // The plain form of a euro locale; a UTF-8 one as it is.
      {"de_DE@euro", "de_DE de_DE"}, {"es_ES.UTF-8", "es_ES es_ES.UTF-8"}, {"ja_JP.utf8", "ja_JP ja_JP.utf8"},
      {"en_US.UTF-8", "en_US en_US.UTF-8"},
  };
  for (auto [lang, tag] : cases) EXPECT_EQ(TagUnder(lang), tag) << (lang ? lang : "unset");
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

}  // namespace
