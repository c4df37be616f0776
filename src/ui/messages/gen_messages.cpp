// gen_messages: turns a resource bundle of Java .properties files (UTF-8) into
// C++ source with one accessor per key and language.
//
//   gen_messages OUTPUT.cpp BUNDLE.properties [BUNDLE_xx.properties ...]
//
// The first file is the default language; the bundle name is its base name.
// A variant file BUNDLE_xx.properties yields accessors named BUNDLE_xx_<key>,
// the default BUNDLE_<key>. Every variant must carry exactly the default's keys.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Bundle {
  std::string tag;  // empty for the default language
  std::vector<std::pair<std::string, std::string>> entries;  // in file order
};

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
  std::fprintf(stderr, "gen_messages: %s: %s\n", file.c_str(), what.c_str());
  std::exit(1);
}

void AppendUtf8(std::string* out, unsigned long cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

// Splits the file into logical lines: a natural line that ends in an odd
// number of backslashes continues on the next one, whose leading blanks go.
std::vector<std::string> LogicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  bool continuing = false;
  size_t i = 0;
  while (i <= text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) end = text.size();
    std::string natural = text.substr(i, end - i);
    i = end + 1;
    if (end < text.size() && text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
    if (continuing) {
      size_t b = 0;
      while (b < natural.size() && IsBlank(natural[b])) ++b;
      natural.erase(0, b);
    }
    size_t slashes = 0;
    while (slashes < natural.size() && natural[natural.size() - 1 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 1) {
      natural.pop_back();
      current += natural;
      continuing = true;
      continue;
    }
    current += natural;
    lines.push_back(current);
    current.clear();
    continuing = false;
  }
  return lines;
}

// Resolves the escapes of a key or value: \t \n \r \f \uXXXX, and a backslash
// in front of any other character stands for that character.
std::string Unescape(const std::string& file, const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    if (++i == s.size()) break;
    switch (s[i]) {
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'f': out.push_back('\f'); break;
      case 'u': {
        if (i + 4 >= s.size()) Fail(file, "truncated \\u escape");
        unsigned long cp = std::strtoul(s.substr(i + 1, 4).c_str(), nullptr, 16);
        i += 4;
        // A high surrogate followed by an escaped low surrogate is one character.
        if (cp >= 0xD800 && cp < 0xDC00 && i + 6 < s.size() && s.compare(i + 1, 2, "\\u") == 0) {
          unsigned long low = std::strtoul(s.substr(i + 3, 4).c_str(), nullptr, 16);
          if (low >= 0xDC00 && low < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
        }
        AppendUtf8(&out, cp);
        break;
      }
      default: out.push_back(s[i]); break;
    }
  }
  return out;
}

Bundle ReadBundle(const std::string& file, const std::string& tag) {
  std::ifstream in(file, std::ios::binary);
  if (!in) Fail(file, "cannot be read");
  std::stringstream buffer;
  buffer << in.rdbuf();
  Bundle bundle;
  bundle.tag = tag;
  std::set<std::string> seen;
  for (const std::string& line : LogicalLines(buffer.str())) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#' || line[i] == '!') continue;
    size_t keyStart = i;
    while (i < line.size() && line[i] != '=' && line[i] != ':' && !IsBlank(line[i])) {
      if (line[i] == '\\') ++i;
      ++i;
    }
    std::string key = Unescape(file, line.substr(keyStart, i - keyStart));
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && (line[i] == '=' || line[i] == ':')) ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    std::string value = Unescape(file, line.substr(i < line.size() ? i : line.size()));
    if (key.empty()) Fail(file, "empty key");
    for (char c : key) {
      if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
        Fail(file, "key '" + key + "' is not a C identifier");
    }
    if (!seen.insert(key).second) Fail(file, "key '" + key + "' appears twice");
    bundle.entries.emplace_back(key, value);
  }
  return bundle;
}

// Octal escapes for everything outside printable ASCII, so that no escape
// can swallow the character after it.
std::string CLiteral(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F || c == '?') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_messages OUTPUT.cpp BUNDLE.properties [BUNDLE_xx.properties ...]\n");
    return 2;
  }
  const std::string suffix = ".properties";
  std::string first = BaseName(argv[2]);
  if (first.size() <= suffix.size() || first.compare(first.size() - suffix.size(), suffix.size(), suffix) != 0)
    Fail(argv[2], "not a .properties file");
  const std::string bundleName = first.substr(0, first.size() - suffix.size());

  std::vector<Bundle> bundles;
  for (int i = 2; i < argc; ++i) {
    std::string base = BaseName(argv[i]);
    std::string stem = base.size() > suffix.size() ? base.substr(0, base.size() - suffix.size()) : "";
    std::string tag;
    if (i > 2) {
      if (stem.compare(0, bundleName.size() + 1, bundleName + "_") != 0 || stem.size() <= bundleName.size() + 1)
        Fail(argv[i], "not a variant of bundle '" + bundleName + "'");
      tag = stem.substr(bundleName.size() + 1);
    }
    bundles.push_back(ReadBundle(argv[i], tag));
  }

  std::set<std::string> keys;
  for (const auto& entry : bundles[0].entries) keys.insert(entry.first);
  for (size_t b = 1; b < bundles.size(); ++b) {
    std::set<std::string> variant;
    for (const auto& entry : bundles[b].entries) variant.insert(entry.first);
    for (const std::string& k : keys)
      if (!variant.count(k)) Fail(argv[b + 2], "lacks key '" + k + "'");
    for (const std::string& k : variant)
      if (!keys.count(k)) Fail(argv[b + 2], "has key '" + k + "' that the default language lacks");
  }

  std::ostringstream out;
  out << "// Generated by gen_messages from the '" << bundleName << "' resource bundle. Do not edit.\n\n";
  out << "extern \"C\" {\n";
  for (const Bundle& bundle : bundles) {
    std::string prefix = bundleName + (bundle.tag.empty() ? "" : "_" + bundle.tag) + "_";
    for (const auto& entry : bundle.entries) {
      out << "const char* " << prefix << entry.first << "(void);\n";
      out << "const char* " << prefix << entry.first << "(void) { return " << CLiteral(entry.second) << "; }\n";
    }
  }
  out << "}\n";

  std::string tmp = std::string(argv[1]) + ".tmp";
  {
    std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file) Fail(tmp, "cannot be written");
  }
  if (std::rename(tmp.c_str(), argv[1]) != 0) Fail(argv[1], "cannot be written");
  return 0;
}
