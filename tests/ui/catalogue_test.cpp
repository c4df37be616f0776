#include "ui/catalogue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "support/child.h"

// Extra accessors, exported like the generated ones, for the lookup order
// and for a text longer than the first conversion buffer.
extern "C" {
const char* messages_ja_JP_test_order(void);
const char* messages_ja_test_order(void);
const char* messages_test_order(void);
const char* messages_test_long_text(void);
const char* messages_test_null(void);
const char* messages_ja_JP_test_order(void) { return "ja_JP"; }
const char* messages_ja_test_order(void) { return "ja"; }
const char* messages_test_order(void) { return "default"; }
const char* messages_test_long_text(void) {
  static const std::string text = [] {
    std::string t;
    for (int i = 0; i < 1500; ++i) t += "\xc3\xb1";  // U+00F1, one byte in ISO-8859-1
    return t + "end\n";
  }();
  return text.c_str();
}
const char* messages_test_null(void) { return nullptr; }
}

namespace {

std::string MessageUnder(const char* lang, const char* key) {
  return test::InChild([=] {
    test::UseLocaleEnvironment(lang);
    return GetLocalizedMessage(key);
  });
}

TEST(Catalogue, SpanishTextsAreConvertedToLatin1) {
  if (!test::HaveLocale("es_ES.ISO-8859-1")) return;
  EXPECT_EQ(MessageUnder("es_ES.ISO-8859-1", "checking_java"), "Detiendo Java(TM) 2 Runtime Environment...\n");
  EXPECT_EQ(test::Hex(MessageUnder("es_ES.ISO-8859-1", "unzipping_files")),
            test::Hex("Extraendo archivos de instalaci\xf3n...\n"));
  EXPECT_EQ(test::Hex(MessageUnder("es_ES.ISO-8859-1", "connecting_x11")),
            test::Hex("Conectando al servidor de X11 \xab%s\xbb.\n"));
  EXPECT_EQ(MessageUnder("es_ES.ISO-8859-1", "setup_already_started"),
            "Another installation process is already running. Exiting.\n");
  std::string usage = MessageUnder("es_ES.ISO-8859-1", "uninstallusage");
  EXPECT_EQ(usage.substr(0, 64), "Tratamiento: '%s' [-opciones]\ndonde opciones incluyen:\n    -cons");
  EXPECT_NE(usage.find("    -silent \n        correr esta aplicaci\xf3n silenciosamente"), std::string::npos);
}

TEST(Catalogue, JapaneseTextsAreConvertedToEucJp) {
  if (!test::HaveLocale("ja_JP.eucJP")) return;
  EXPECT_EQ(test::Hex(MessageUnder("ja_JP.eucJP", "checking_java")),
            test::Hex("Java(TM) 2 Runtime Environment\xb8\xa1\xba\xba\xc3\xe6...\n"));
  EXPECT_EQ(test::Hex(MessageUnder("ja_JP.eucJP", "checking_disk_space")),
            test::Hex("\xa5\xc7\xa5\xa3\xa5\xb9\xa5\xaf\xa5\xb9\xa5\xda\xa1\xbc\xa5\xb9\xa4\xce\xcd\xc6\xce\xcc"
                      "\xa4\xf2\xb8\xa1\xba\xba\xc3\xe6...\n"));
  EXPECT_EQ(test::Hex(MessageUnder("ja_JP.eucJP", "executing_java")),
            test::Hex("Java(TM) 2 Runtime Environment \xa4\xf2\xb5\xaf\xc6\xb0\xa4\xb7\xa4\xc6\xa4\xa4\xa4\xde"
                      "\xa4\xb9...\n"));
  // The rest of the Japanese catalogue is English, with its own differences.
  EXPECT_EQ(MessageUnder("ja_JP.eucJP", "java_aborted"), "Error: The Java(TM) Virtual Machine has aborted.\n");
  EXPECT_EQ(MessageUnder("ja_JP.eucJP", "no_space_system_tmpdir").substr(0, 7), "Error: ");
  std::string usage = MessageUnder("ja_JP.eucJP", "installusage");
  EXPECT_NE(usage.find("    -javahome <Java(TM) installation directory>\n"
                       "        force this application to use the specified Java(TM) installation\n"
                       "    -tmpdir"),
            std::string::npos);
}

TEST(Catalogue, OtherLanguagesFallBackToEnglish) {
  if (!test::HaveLocale("de_DE.ISO-8859-1")) return;
  EXPECT_EQ(MessageUnder("de_DE.ISO-8859-1", "checking_java"), "Checking Java(TM) 2 Runtime Environment...\n");
  EXPECT_EQ(MessageUnder("C", "ok"), "OK");
}

TEST(Catalogue, LooksUpTheFullTagThenTheLanguageThenTheDefault) {
  if (!test::HaveLocale("ja_JP.eucJP") || !test::HaveLocale("es_ES.ISO-8859-1")) return;
  EXPECT_EQ(MessageUnder("ja_JP.eucJP", "test_order"), "ja_JP");
  EXPECT_EQ(MessageUnder("es_ES.ISO-8859-1", "test_order"), "default");
}

TEST(Catalogue, UnknownKeysNullTextsAndUnconvertibleTextsGiveAnEmptyString) {
  EXPECT_EQ(MessageUnder("C", "no_such_key"), "");
  EXPECT_EQ(MessageUnder("C", "test_null"), "");
  if (!test::HaveLocale("es_ES.ISO-8859-1")) return;
  // Spanish chosen, but the process then runs in "C", whose ASCII lacks "ó".
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("es_ES.ISO-8859-1");
              std::string tag = GetLocalizedMessage("checking_java");
              setlocale(LC_ALL, "C");
              return GetLocalizedMessage("unzipping_files") + "|" + GetLocalizedMessage("checking_java");
            }),
            "|Detiendo Java(TM) 2 Runtime Environment...\n");
}

TEST(Catalogue, ATextLongerThanTheFirstBufferComesBackWhole) {
  if (!test::HaveLocale("es_ES.ISO-8859-1")) return;
  std::string text = MessageUnder("es_ES.ISO-8859-1", "test_long_text");
  EXPECT_EQ(text, std::string(1500, '\xf1') + "end\n");
  // ASCII can't hold the same text at all.
  EXPECT_EQ(MessageUnder("C", "test_long_text"), "");
}

}  // namespace
