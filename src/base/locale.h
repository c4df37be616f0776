// The user's locale and the normalised locale tag that picks a language.
#pragma once

/// Returns the locale tag (language or language_COUNTRY, such as "ja_JP",
/// "es_ES" or "en"), computing it on the first call. The first call also
/// puts the process under the user's locale, preferring the plain form of a
/// euro locale (a UTF-8 locale is kept). The tag is owned here.
const char* GetLocale();

/// Discards the cached tag and derives a new one from the locale now in
/// force, without reading the environment again (used after the toolkit
/// switched the process to "C"). Returns the new tag.
const char* UpdateLocale();

/// Looks key up in a pair table (key, value, ..., "" ended). Returns true and
/// stores the value of the first equal key in *out; false leaves *out alone.
bool MapLookup(const char* const* table, const char* key, const char** out);
