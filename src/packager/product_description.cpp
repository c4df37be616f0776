#include "packager/product_description.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>

#include "packager/app_inputs.h"

namespace {

bool Refuse(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

// Decodes the UTF-8 sequence at text[*at], advancing *at; -1 when it is not
// one (overlong forms, surrogates and code points past U+10FFFF included).
int32_t NextCodePoint(const std::string& text, size_t* at) {
  unsigned char lead = static_cast<unsigned char>(text[*at]);
  int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length == 0 || *at + length > text.size()) return -1;
  int32_t c = length == 1 ? lead : lead & (0x7f >> length);
  for (int i = 1; i < length; ++i) {
    unsigned char next = static_cast<unsigned char>(text[*at + i]);
    if ((next >> 6) != 2) return -1;
    c = c << 6 | (next & 0x3f);
  }
  static const int32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[length] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return -1;
  *at += length;
  return c;
}

// One line for menus: UTF-8 without control characters.
bool CheckLine(const std::string& option, const std::string& text, std::string* err) {
  bool control = false;
  for (char c : text) control = control || static_cast<unsigned char>(c) < ' ' || c == 0x7f;
  if (text.empty() || control || !IsUtf8(text)) return Refuse(option + " takes one line of UTF-8 text", err);
  return true;
}

bool AllOf(const std::string& text, int (*is)(int), const char* extra) {
  for (char c : text) {
    if (!is(static_cast<unsigned char>(c)) && strchr(extra, c) == nullptr) return false;
  }
  return !text.empty();
}

int IsLower(int c) { return islower(c); }
int IsUpper(int c) { return isupper(c); }
int IsLowerOrDigit(int c) { return islower(c) || isdigit(c); }

// A language as locale names have it: ll, lll or ll_CC.
bool CheckLanguage(const std::string& option, const std::string& language, std::string* err) {
  size_t bar = language.find('_');
  std::string ll = language.substr(0, bar);
  bool good = ll.size() >= 2 && ll.size() <= 3 && AllOf(ll, IsLower, "") &&
              (bar == std::string::npos ||
               (language.size() - bar - 1 == 2 && AllOf(language.substr(bar + 1), IsUpper, "")));
  if (!good) return Refuse(option + ": '" + language + "' is no language such as es or pt_BR", err);
  return true;
}

bool CheckTranslations(const std::string& option, const std::vector<NamedValue>& texts, std::string* err) {
  std::set<std::string> seen;
  for (const NamedValue& text : texts) {
    if (!CheckLanguage(option, text.first, err) || !CheckLine(option, text.second, err)) return false;
    if (!seen.insert(text.first).second) return Refuse(option + " gives " + text.first + " twice", err);
  }
  return true;
}

const char* const kMainCategories[] = {"AudioVideo", "Audio",    "Video",   "Development", "Education",
                                       "Game",       "Graphics", "Network", "Office",      "Science",
                                       "Settings",   "System",   "Utility"};

bool CheckCategories(const std::vector<std::string>& categories, std::string* err) {
  std::set<std::string> seen;
  for (const std::string& category : categories) {
    std::string all;
    for (const char* known : kMainCategories) all += std::string(all.empty() ? "" : " ") + known;
    if (std::find(std::begin(kMainCategories), std::end(kMainCategories), category) ==
        std::end(kMainCategories))
      return Refuse("--category '" + category + "' is no freedesktop.org main category: " + all, err);
    if (!seen.insert(category).second) return Refuse("--category " + category + " is given twice", err);
  }
  // Menus file Audio and Video applications under AudioVideo; desktop-file-validate calls either alone an
  // error.
  for (const char* part : {"Audio", "Video"}) {
    if (seen.count(part) != 0 && seen.count("AudioVideo") == 0)
      return Refuse(std::string("--category ") + part + " goes with --category AudioVideo", err);
  }
  return true;
}

// EXT=type/subtype, the names as RFC 6838 restricts them, in lower case.
bool CheckFileType(const NamedValue& type, std::string* err) {
  const std::string& extension = type.first;
  if (!AllOf(extension, isalnum, "._-") || extension[0] == '.')
    return Refuse(
        "--file-type '" + extension + "=...': the extension takes letters, digits, '.', '_' and '-'", err);
  const std::string& mime = type.second;
  size_t slash = mime.find('/');
  auto restricted = [](const std::string& name) {
    return name.size() <= 127 && AllOf(name, IsLowerOrDigit, "!#$&-^_.+") && IsLowerOrDigit(name[0]);
  };
  if (slash == std::string::npos || !restricted(mime.substr(0, slash)) || !restricted(mime.substr(slash + 1)))
    return Refuse("--file-type " + extension + "=" + mime + ": give a MIME type such as application/x-" +
                      extension + " (lower case)",
                  err);
  return true;
}

bool CheckFileTypes(const std::vector<NamedValue>& types, std::string* err) {
  std::set<std::string> extensions;
  for (const NamedValue& type : types) {
    if (!CheckFileType(type, err)) return false;
    if (!extensions.insert(type.first).second)
      return Refuse("--file-type " + type.first + "=...: *." + type.first + " has a type already", err);
  }
  return true;
}

bool CheckCommands(const AppOptions& app, std::string* err) {
  std::set<std::string> names = {app.name};
  for (const NamedValue& command : app.commands) {
    std::string nameErr;
    if (!CheckProductName(command.first, &nameErr))
      return Refuse("--launcher " + command.first + "=...: use letters, digits, '.', '_' and '-' (not first)",
                    err);
    if (!names.insert(command.first).second)
      return Refuse("--launcher " + command.first + "=...: " + command.first + " names a command already",
                    err);
    if (!CheckClassName(command.second, err))
      return Refuse("--launcher " + command.first + "=" + command.second + ": " + *err, err);
  }
  // Command C's start script bin/C must not be the class path jar bin/D.jar of another.
  for (const std::string& name : names) {
    if (names.count(name + ".jar") != 0)
      return Refuse("the commands " + name + " and " + name + ".jar would both need bin/" + name + ".jar",
                    err);
  }
  return true;
}

void Append(std::string* out, const std::string& key, const std::string& value) {
  *out += PropertiesEscape(key, true) + "=" + PropertiesEscape(value) + "\n";
}

void AppendList(std::string* out, const std::string& key, const std::vector<std::string>& values) {
  for (size_t i = 0; i < values.size(); ++i) Append(out, key + "." + std::to_string(i), values[i]);
}

}  // namespace

bool IsUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    if (NextCodePoint(text, &at) < 0) return false;
  }
  return true;
}

std::string ShownName(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t from = at;
    unsigned char byte = static_cast<unsigned char>(text[at]);
    if (NextCodePoint(text, &at) >= 0 && byte >= ' ' && byte != 0x7f) {
      out.append(text, from, at - from);
      continue;
    }
    at = from + 1;
    char escaped[8];
    snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out += byte == '\t' ? "\\t" : byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : escaped;
  }
  return out;
}

bool CheckProductDescription(const AppOptions& app, std::string* err) {
  const std::pair<const char*, const std::string*> lines[] = {
      {"--title", &app.title}, {"--description", &app.description}, {"--vendor", &app.vendor}};
  for (const auto& line : lines) {
    if (!line.second->empty() && !CheckLine(line.first, *line.second, err)) return false;
  }
  if (!CheckTranslations("--title-translation", app.titles, err) ||
      !CheckTranslations("--description-translation", app.descriptions, err) || !CheckCommands(app, err))
    return false;
  if (!CheckCategories(app.categories, err) || !CheckFileTypes(app.fileTypes, err)) return false;
  for (const std::string& option : app.javaOptions) {
    // java takes its first argument without '-' as the class to run.
    if (option.empty() || option[0] != '-')
      return Refuse("--java-options '" + option + "': a JVM option begins with '-', such as -Xmx512m", err);
    // The start script carries every option on its one exec line.
    if (option.find('\n') != std::string::npos || option.find('\r') != std::string::npos)
      return Refuse("--java-options '" + option + "': one JVM option takes one line", err);
    if (!IsUtf8(option)) return Refuse("--java-options '" + option + "': not UTF-8", err);
  }
  for (const std::string& argument : app.arguments) {
    if (!IsUtf8(argument)) return Refuse("--arguments '" + argument + "': not UTF-8", err);
  }
  return true;
}

std::string PropertiesEscape(const std::string& text, bool key) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    int32_t c = NextCodePoint(text, &at);
    if (c < 0) break;  // refused before
    char unit[8];
    auto escapeUnit = [&](unsigned u) {
      snprintf(unit, sizeof unit, "\\u%04X", u);
      out += unit;
    };
    if (c == '\\' || c == '=' || c == ':' || c == '#' || c == '!' || (c == ' ' && (key || out.empty()))) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= ' ' && c < 0x7f) {
      out += static_cast<char>(c);
    } else if (c < 0x10000) {
      escapeUnit(static_cast<unsigned>(c));
    } else {
      escapeUnit(0xd800 + ((c - 0x10000) >> 10));
      escapeUnit(0xdc00 + ((c - 0x10000) & 0x3ff));
    }
  }
  return out;
}

std::string ProductProperties(const AppOptions& app, const std::string& mainClass,
                              const std::vector<std::string>& classPath) {
  std::string out;
  Append(&out, "name", app.name);
  Append(&out, "version", app.version);
  Append(&out, "mainJar", app.mainJar);
  Append(&out, "mainClass", mainClass);
  Append(&out, "terminal", app.terminal ? "true" : "false");
  Append(&out, "menu", !app.terminal || app.menu ? "true" : "false");
  Append(&out, "title", app.title.empty() ? app.name : app.title);
  for (const NamedValue& title : app.titles) Append(&out, "title." + title.first, title.second);
  if (!app.description.empty()) Append(&out, "description", app.description);
  for (const NamedValue& text : app.descriptions) Append(&out, "description." + text.first, text.second);
  if (!app.vendor.empty()) Append(&out, "vendor", app.vendor);
  std::string categories;
  for (const std::string& category : app.categories) categories += category + ";";
  Append(&out, "categories", categories.empty() ? "Utility;" : categories);
  AppendList(&out, "classPath", classPath);
  AppendList(&out, "javaOption", app.javaOptions);
  AppendList(&out, "argument", app.arguments);
  for (size_t i = 0; i < app.commands.size(); ++i) {
    Append(&out, "launcher." + std::to_string(i) + ".name", app.commands[i].first);
    Append(&out, "launcher." + std::to_string(i) + ".class", app.commands[i].second);
  }
  for (size_t i = 0; i < app.fileTypes.size(); ++i) {
    Append(&out, "fileType." + std::to_string(i) + ".extension", app.fileTypes[i].first);
    Append(&out, "fileType." + std::to_string(i) + ".mimeType", app.fileTypes[i].second);
  }
  return out;
}
