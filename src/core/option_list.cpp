#include "core/option_list.h"

#include <cstdlib>
#include <cstring>

#include "core/memory.h"

JavaVMOption* options = nullptr;
int numOptions = 0;
int maxOptions = 0;

void AddOption(const std::string& text) {
  if (numOptions >= maxOptions) {
    if (options == nullptr) {
      maxOptions = 4;
      options = static_cast<JavaVMOption*>(MemAlloc(maxOptions * sizeof(JavaVMOption)));
    } else {
      maxOptions *= 2;
      auto* grown = static_cast<JavaVMOption*>(MemAlloc(maxOptions * sizeof(JavaVMOption)));
      memcpy(grown, options, numOptions * sizeof(JavaVMOption));
      free(options);
      options = grown;
    }
  }
  options[numOptions].optionString = StrDup(text.c_str());
  options[numOptions].extraInfo = nullptr;
  ++numOptions;
}
