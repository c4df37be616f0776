#include "base/locale.h"

#include <clocale>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Plain string functions only here: the multibyte-aware searches call
// GetLocale themselves.

// clang-format off
const char* const locale_aliases[] = {
    "ar", "ar_EG", "be", "be_BY", "bg", "bg_BG", "br", "br_FR", "ca", "ca_ES",
    "cs", "cs_CZ", "cz", "cs_CZ", "da", "da_DK", "de", "de_DE", "el", "el_GR",
    "en", "en_US", "eo", "eo", "es", "es_ES", "et", "et_EE", "eu", "eu_ES",
    "fi", "fi_FI", "fr", "fr_FR", "ga", "ga_IE", "gl", "gl_ES", "he", "iw_IL",
    "hr", "hr_HR", "hu", "hu_HU", "id", "in_ID", "in", "in_ID", "is", "is_IS",
    "it", "it_IT", "iw", "iw_IL", "ja", "ja_JP", "kl", "kl_GL", "ko", "ko_KR",
    "lt", "lt_LT", "lv", "lv_LV", "mk", "mk_MK", "nl", "nl_NL", "no", "no_NO",
    "pl", "pl_PL", "pt", "pt_PT", "ro", "ro_RO", "ru", "ru_RU", "sh", "sh_YU",
    "sk", "sk_SK", "sl", "sl_SI", "sq", "sq_AL", "sr", "sr_YU", "su", "fi_FI",
    "sv", "sv_SE", "th", "th_TH", "tr", "tr_TR", "uk", "uk_UA", "zh", "zh_CN",
    "big5", "zh_TW.Big5", "chinese", "zh_CN", "japanese", "ja_JP", "tchinese", "zh_TW",
    ""};

const char* const country_names[] = {
    "AT", "AT", "AU", "AU", "AR", "AR", "BE", "BE", "BR", "BR", "BO", "BO",
    "CA", "CA", "CH", "CH", "CL", "CL", "CN", "CN", "CO", "CO", "CR", "CR",
    "CZ", "CZ", "DE", "DE", "DK", "DK", "DO", "DO", "EC", "EC", "EE", "EE",
    "ES", "ES", "FI", "FI", "FO", "FO", "FR", "FR", "GB", "GB", "GR", "GR",
    "GT", "GT", "HN", "HN", "HR", "HR", "HU", "HU", "ID", "ID", "IE", "IE",
    "IL", "IL", "IN", "IN", "IS", "IS", "IT", "IT", "JP", "JP", "KR", "KR",
    "LT", "LT", "LU", "LU", "LV", "LV", "MX", "MX", "NI", "NI", "NL", "NL",
    "NO", "NO", "NZ", "NZ", "PA", "PA", "PE", "PE", "PL", "PL", "PT", "PT",
    "PY", "PY", "RO", "RO", "RU", "RU", "SE", "SE", "SI", "SI", "SK", "SK",
    "SV", "SV", "TH", "TH", "TR", "TR", "UA", "UA", "US", "US", "UY", "UY",
    "VE", "VE", "TW", "TW", "YU", "YU", "UK", "GB",
    ""};

const char* const language_names[] = {
    "ar", "ar", "be", "be", "bg", "bg", "br", "br", "ca", "ca", "cs", "cs",
    "da", "da", "de", "de", "el", "el", "en", "en", "eo", "eo", "es", "es",
    "et", "et", "eu", "eu", "fi", "fi", "fo", "fo", "fr", "fr", "ga", "ga",
    "gl", "gl", "hi", "hi", "hr", "hr", "hu", "hu", "in", "in", "is", "is",
    "it", "it", "iw", "iw", "ja", "ja", "kl", "kl", "ko", "ko", "lt", "lt",
    "lv", "lv", "mk", "mk", "nl", "nl", "no", "no", "nr", "nr", "pl", "pl",
    "pt", "pt", "ro", "ro", "ru", "ru", "sh", "sh", "sk", "sk", "sl", "sl",
    "sq", "sq", "sr", "sr", "sv", "sv", "th", "th", "tr", "tr", "uk", "uk",
    "zh", "zh", "C", "en", "POSIX", "en", "cz", "cs", "he", "iw", "id", "in",
    "su", "fi", "chinese", "zh", "japanese", "ja", "korean", "ko",
    ""};

// clang-format on

// No locale modifier ever makes it into a tag.
const char* const variant_names[] = {""};

// The tag, once computed.
std::optional<std::string> locale;

// Sets the locale named name (after cutting it at the first occurrence of
// cut), or "C" when the system refuses it; returns the new name.
std::string SetLocaleCut(std::string name, const char* cut) {
  size_t at = name.find(cut);
  if (at != std::string::npos) name.resize(at);
  const char* set = setlocale(LC_ALL, name.c_str());
  if (set == nullptr) set = setlocale(LC_ALL, "C");
  return set ? set : "C";
}

// Derives the tag from a locale name and caches it.
const char* ComputeTag(std::string name) {
  std::string language = "en";
  std::string country;
  const char* value = nullptr;
  size_t at = name.rfind('@');
  if (at != std::string::npos) {
    name.resize(at);
    MapLookup(variant_names, name.c_str(), &value);
  }
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  if (MapLookup(locale_aliases, name.c_str(), &value)) name = value;
  std::string lang = name;
  size_t underscore = name.rfind('_');
  if (underscore != std::string::npos) {
    lang = name.substr(0, underscore);
    if (MapLookup(country_names, name.c_str() + underscore + 1, &value)) country = value;
  }
  if (MapLookup(language_names, lang.c_str(), &value)) language = value;
  std::string tag = country.empty() ? language : language + "_" + country;
  locale = tag;
  return locale->c_str();
}

}  // namespace

bool MapLookup(const char* const* table, const char* key, const char** out) {
  for (size_t i = 0; table[i][0] != '\0'; i += 2) {
    if (strcmp(table[i], key) == 0) {
      *out = table[i + 1];
      return true;
    }
  }
  return false;
}

const char* GetLocale() {
  if (locale) return locale->c_str();
  const char* fromEnv = setlocale(LC_ALL, "");
  if (fromEnv == nullptr) fromEnv = setlocale(LC_ALL, "C");
  std::string name = fromEnv ? fromEnv : "C";
  // A UTF-8 locale stays as it is: its plain form would print Latin-1 or
  // EUC-JP bytes on today's UTF-8 terminals, and is rarely installed.
  name = SetLocaleCut(name, "@euro");
  return ComputeTag(name);
}

const char* UpdateLocale() {
  const char* current = setlocale(LC_ALL, nullptr);
  return ComputeTag(current ? current : "C");
}
