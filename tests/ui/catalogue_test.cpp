#include "ui/catalogue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "support/child.h"

// Extra accessors, exported like the generated ones, for the lookup order
// and for a text longer than the first conversion buffer.
extern "C" {
const char* messages_ja_JP_test_order(void) { return "ja_JP"; }
const char* messages_ja_test_order(void) { return "ja"; }
const char* messages_test_order(void) { return "default"; }
const char* messages_test_long_text(void) {
  static const std::string text = std::string(3000, 'n') + "\xc3\xb1\n";  // U+00F1: one byte in ISO-8859-1
  return text.c_str();
}
}

namespace {

std::string MessageUnder(const char* lang, const char* key) {
  return test::InChild([=] {
    test::UseLocaleEnvironment(lang);
    return GetLocalizedMessage(key);
  });
}

TEST(Catalogue, PicksTheLanguageOfTheLocaleInItsCodeSet) {
  for (const char* l : {"es_ES.ISO-8859-1", "ja_JP.eucJP", "de_DE.ISO-8859-1"})
    if (!test::HaveLocale(l)) return;
  const struct {
    const char* lang;
    const char* key;
    std::string text;
  } cases[] = {
      {"es_ES.ISO-8859-1", "unzipping_files", "Extraendo archivos de instalaci\xf3n...\n"},
      {"es_ES.ISO-8859-1", "connecting_x11", "Conectando al servidor de X11 \xab%s\xbb.\n"},
      {"ja_JP.eucJP", "checking_java", "Java(TM) 2 Runtime Environment\xb8\xa1\xba\xba\xc3\xe6...\n"},
      // The rest of the Japanese catalogue is English; other languages fall back to it.
      {"ja_JP.eucJP", "java_aborted", "Error: The Java(TM) Virtual Machine has aborted.\n"},
      {"de_DE.ISO-8859-1", "checking_java", "Checking Java(TM) 2 Runtime Environment...\n"},
      // The full tag, then the language, then the default.
      {"ja_JP.eucJP", "test_order", "ja_JP"},
      {"es_ES.ISO-8859-1", "test_order", "default"},
      {"es_ES.ISO-8859-1", "test_long_text", std::string(3000, 'n') + "\xf1\n"},
      // Unknown keys, and texts the code set can't hold, give an empty text.
      {"C", "no_such_key", ""},
      {"C", "test_long_text", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(test::Hex(MessageUnder(c.lang, c.key)), test::Hex(c.text)) << c.key;
}

}  // namespace
