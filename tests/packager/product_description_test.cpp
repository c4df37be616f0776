#include "packager/product_description.h"

#include <gtest/gtest.h>

namespace {

// As java.util.Properties stores them, every character outside printable
// ASCII as \uXXXX (UTF-16), so that Properties.load reads back the text.
TEST(PropertiesEscape, EscapesAsPropertiesStoreDoes) {
  EXPECT_EQ(PropertiesEscape("a=b:c\\d#e!f"), "a\\=b\\:c\\\\d\\#e\\!f");
  // A leading blank of a value, every blank of a key.
  EXPECT_EQ(PropertiesEscape("  two  blanks "), "\\  two  blanks ");
  EXPECT_EQ(PropertiesEscape("a key", true), "a\\ key");
  EXPECT_EQ(PropertiesEscape("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80"), "caf\\u00E9 \\u65E5 \\uD83D\\uDE00");
  EXPECT_EQ(PropertiesEscape("tab\tline\nend\x7f"), "tab\\u0009line\\u000Aend\\u007F");
  EXPECT_EQ(PropertiesEscape("$APPDIR/${APPDIR}"), "$APPDIR/${APPDIR}");
}

TEST(CheckProductDescription, RefusesWhatThePropertiesOrTheDesktopCantCarry) {
  AppOptions good;
  good.name = "hello";
  good.title = " Caf\xc3\xa9 = 1:1 \\";
  good.javaOptions = {"-Dx=$APPDIR/a b"};
  good.arguments = {"", "two\nlines"};
  std::string err;
  EXPECT_TRUE(CheckProductDescription(good, &err)) << err;
  struct Case {
    void (*change)(AppOptions*);
    const char* message;
  } cases[] = {
      {[](AppOptions* a) { a->title = "two\nlines"; }, "--title takes one line of UTF-8 text"},
      {[](AppOptions* a) { a->vendor = "Caf\xe9"; }, "--vendor takes one line of UTF-8 text"},
      {[](AppOptions* a) { a->descriptions = {{"es", "\xed\xa0\x80"}}; },
       "--description-translation takes one line of UTF-8 text"},
      {[](AppOptions* a) { a->javaOptions = {"-Da=1\n-Db=2"}; },
       "--java-options '-Da=1\n-Db=2': one JVM option takes one line"},
      {[](AppOptions* a) { a->javaOptions = {""}; },
       "--java-options '': a JVM option begins with '-', such as -Xmx512m"},
      {[](AppOptions* a) { a->arguments = {"\xc0\xaf"}; }, "--arguments '\xc0\xaf': not UTF-8"},
  };
  for (const Case& c : cases) {
    AppOptions app = good;
    c.change(&app);
    EXPECT_FALSE(CheckProductDescription(app, &err)) << c.message;
    EXPECT_EQ(err, c.message);
  }
}

}  // namespace
