#include "core/profile.h"

#include <gtest/gtest.h>

#include "support/child.h"

namespace {

TEST(InstallationProfile, NamesTheInstallerAndItsClassPath) {
  EXPECT_STREQ(GetJavaClassName(), "bramlet");
  const char* const* elements = nullptr;
  ASSERT_EQ(GetJavaClasspathElements(&elements), 1);
  EXPECT_STREQ(elements[0], "/package/PackageFormat.jar");
  EXPECT_EQ(GetMessageKeyPrefix("already_started"), "setup_already_started");
  EXPECT_EQ(GetMessageKeyPrefix("no_files"), "setup_no_files");
  EXPECT_TRUE(IsStateFileRequired());
}

TEST(InstallationProfile, TitleIsFetchedOnceInTheFirstLocale) {
  if (!test::HaveLocale("es_ES.ISO-8859-1")) return;
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("es_ES.ISO-8859-1");
              const char* first = GetTitle();
              // A later change of language does not change the title.
              setenv("LANG", "C", 1);
              const char* second = GetTitle();
              return std::string(first) + (first == second ? " same" : " different");
            }),
            "Instalaci\xf3n same");
  EXPECT_EQ(test::InChild([] {
              test::UseLocaleEnvironment("C");
              return std::string(GetTitle());
            }),
            "Setup");
}

}  // namespace
