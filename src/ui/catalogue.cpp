#include "ui/catalogue.h"

#include <dlfcn.h>
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "base/locale.h"
#include "base/mbstring.h"

namespace {

// The bundle name: the prefix of every accessor.
const char kBundle[] = "messages";

using Accessor = const char* (*)();

std::string titleKey;
std::optional<std::string> title;

// Finds the text of key, or null.
const char* LookUp(const char* key) {
  static void* self = dlopen(nullptr, RTLD_NOW | RTLD_GLOBAL);  // never closed
  if (self == nullptr) return nullptr;
  std::string tag = GetLocale();
  for (;;) {
    std::string name = kBundle;
    if (!tag.empty()) name += "_" + tag;
    name += "_";
    name += key;
    if (void* symbol = dlsym(self, name.c_str())) {
      return reinterpret_cast<Accessor>(symbol)();
    }
    if (tag.empty()) return nullptr;
    const char* underscore = _strrchr(tag.c_str(), '_');
    tag.resize(underscore ? static_cast<size_t>(underscore - tag.c_str()) : 0);
  }
}

// Converts text from UTF-8 into the current locale's code set; false when
// the text can't be represented there.
bool Convert(iconv_t cd, const std::string& text, std::string* out) {
  // No code set needs more than a few bytes per input byte: more than this
  // means iconv will never be satisfied.
  const size_t limit = 8 * text.size() + 1025;
  for (size_t size = 1025; size <= limit; size += 1025) {
    std::vector<char> buffer(size + 1);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* o = buffer.data();
    size_t outLeft = size;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    if (r == 0) {
      // Stateful code sets may still owe the bytes that return to the initial state.
      if (iconv(cd, nullptr, nullptr, &o, &outLeft) == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        return false;
      }
      out->assign(buffer.data(), size - outLeft);
      return true;
    }
    if (r != static_cast<size_t>(-1) || errno != E2BIG) return false;
  }
  return false;
}

}  // namespace

std::string GetLocalizedMessage(const char* key) {
  const char* text = LookUp(key);
  if (text == nullptr) return std::string();
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr) return text;
  iconv_t cd = iconv_open(codeset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string converted;
  bool ok = Convert(cd, text, &converted);
  iconv_close(cd);
  return ok ? converted : std::string();
}

std::string GetPrintedMessage(const char* key) {
  std::string format = GetLocalizedMessage(key);
  std::string text;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') ++i;
    text += format[i];
  }
  return text;
}

void SetTitleKey(const char* key) { titleKey = key; }

const char* GetTitle() {
  if (!title) title = GetLocalizedMessage(titleKey.c_str());
  return title->c_str();
}
