// The message catalogue: localised texts addressed by key.
#pragma once

#include <string>

/// Returns the text of key for the user's locale, converted from UTF-8 into
/// the locale's code set. The accessors messages_<tag>_<key> are looked up
/// among the program's own exported symbols, shortening the tag at its last
/// "_" until one is found ("ja_JP", "ja", then the English default). Returns
/// an empty string when the key is unknown or the text can't be converted;
/// the unconverted text when the code set has no converter.
std::string GetLocalizedMessage(const char* key);

/// The text of a key that takes no arguments as printf would print it (each
/// "%%" a single "%").
std::string GetPrintedMessage(const char* key);

/// Names the catalogue key of the installer's title ("setup_title" for an
/// installer). Call before the first GetTitle.
void SetTitleKey(const char* key);

/// The localised title, fetched on the first call and kept for the run, so
/// that the lock file's name and the windows carry the same text.
const char* GetTitle();
