#include "core/option_list.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child.h"

namespace {

// The list is process-wide state, so each scenario runs in a fresh child.
TEST(AddOption, GrowsFromFourByDoublingAndKeepsOrder) {
  EXPECT_EQ(test::InChild([] {
              std::string seen;
              for (int i = 1; i <= 9; ++i) {
                AddOption("-D" + std::to_string(i));
                seen += std::to_string(numOptions) + "/" + std::to_string(maxOptions) + " ";
              }
              for (int i = 0; i < numOptions; ++i) {
                seen += options[i].optionString;
                if (options[i].extraInfo != nullptr) seen += "!";
              }
              return seen;
            }),
            "1/4 2/4 3/4 4/4 5/8 6/8 7/8 8/8 9/16 -D1-D2-D3-D4-D5-D6-D7-D8-D9");
}

TEST(AddOption, StartsEmpty) {
  EXPECT_EQ(test::InChild([] {
              return std::to_string(numOptions) + (options == nullptr ? " null" : " set");
            }),
            "0 null");
}

TEST(AddOption, CopiesTheText) {
  EXPECT_EQ(test::InChild([] {
              std::string text = "-Xmx256m";
              AddOption(text);
              text[1] = '?';
              return std::string(options[0].optionString);
            }),
            "-Xmx256m");
}

}  // namespace
