#include "base/mbstring.h"

#include <cstdlib>
#include <cstring>

#include "base/locale.h"

bool IsMultiByteChar(const char* s, size_t index) {
  if (index == 0) return true;
  GetLocale();
  size_t length = strlen(s);
  // In a single-byte locale every byte is a character. The C locale counts as
  // one, although the C library rejects its bytes above 127: otherwise a
  // UTF-8 name would hide every "/" after its first such byte.
  if (MB_CUR_MAX == 1) return index <= length;
  size_t pos = 0;
  mblen(nullptr, 0);  // start from the initial shift state
  while (pos < index) {
    int n = mblen(s + pos, length - pos);
    if (n == 0) return false;
    // A byte that begins no valid character (a name in another encoding)
    // counts as one, so that the separators behind it are still found.
    if (n < 0) {
      n = 1;
      mblen(nullptr, 0);
    }
    pos += static_cast<size_t>(n);
  }
  return pos == index;
}

const char* _strchr(const char* s, int c) {
  if (s == nullptr) return nullptr;
  for (size_t i = 0; s[i] != '\0'; ++i) {
    if (static_cast<signed char>(s[i]) == c && IsMultiByteChar(s, i)) return s + i;
  }
  return nullptr;
}

const char* _strrchr(const char* s, int c) {
  if (s == nullptr) return nullptr;
  for (size_t i = strlen(s) + 1; i-- > 0;) {
    if (static_cast<signed char>(s[i]) == c && IsMultiByteChar(s, i)) return s + i;
  }
  return nullptr;
}
