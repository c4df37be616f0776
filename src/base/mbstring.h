// Character searches that never stop inside a multibyte character.
#pragma once

#include <cstddef>

/// Returns the first position in s that holds c and begins a character of the
/// current locale, or null. A null or empty s gives null; the terminator is
/// never found. c is compared with each byte taken as a signed value, so only
/// characters below 128 can match.
const char* _strchr(const char* s, int c);

/// Returns the last such position, or null for a null s. Searching for the
/// zero character finds the terminator.
const char* _strrchr(const char* s, int c);

/// Returns true when a character of the current locale begins at byte index
/// of s; in a single-byte locale (the C locale among them) every byte begins
/// one, and a byte that begins no valid character counts as one too. Puts
/// the user's locale in force first (GetLocale).
bool IsMultiByteChar(const char* s, size_t index);
