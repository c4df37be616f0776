#include "packager/app_inputs.h"

#include <zip.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

bool Refuse(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

bool AllOf(const std::string& text, const char* extra) {
  for (char c : text) {
    if (!isalnum(static_cast<unsigned char>(c)) && strchr(extra, c) == nullptr) return false;
  }
  return !text.empty();
}

// The manifest's main section as logical lines: continuation lines (which
// begin with one space) joined to the line before.
std::vector<std::string> MainSection(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (line.empty()) break;
    if (line[0] == ' ' && !lines.empty()) {
      lines.back() += line.substr(1);
    } else {
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace

bool ReadJarMainClass(const std::string& path, std::optional<std::string>* mainClass, std::string* err) {
  int code = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (za == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    *err = path + ": not a jar (" + zip_error_strerror(&error) + ")";
    zip_error_fini(&error);
    return false;
  }
  std::string text;
  if (zip_file_t* f = zip_fopen(za, "META-INF/MANIFEST.MF", 0)) {
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_fread(f, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    zip_fclose(f);
  }
  zip_discard(za);
  mainClass->reset();
  static const char kKey[] = "main-class:";
  for (const std::string& line : MainSection(text)) {
    if (line.size() < sizeof kKey - 1 || strncasecmp(line.c_str(), kKey, sizeof kKey - 1) != 0) continue;
    size_t begin = line.find_first_not_of(' ', sizeof kKey - 1);
    size_t end = line.find_last_not_of(' ');
    if (begin != std::string::npos) *mainClass = line.substr(begin, end - begin + 1);
  }
  return true;
}

bool CheckPng(const std::string& path, std::string* err) {
  static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                             0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  std::ifstream file(path, std::ios::binary);
  if (!file) return Refuse(path + ": " + strerror(errno), err);
  unsigned char head[24] = {};
  file.read(reinterpret_cast<char*>(head), sizeof head);
  auto number = [&head](int at) {
    return static_cast<uint32_t>(head[at]) << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3];
  };
  if (file.gcount() != sizeof head || memcmp(head, kSignature, sizeof kSignature) != 0 || number(16) == 0 ||
      number(20) == 0)
    return Refuse(path + ": not a PNG image; --icon takes one", err);
  return true;
}

bool CheckProductName(const std::string& name, std::string* err) {
  if (!AllOf(name, "._-") || name[0] == '.' || name[0] == '-')
    return Refuse(
        "--name '" + name + "': use letters, digits, '.', '_' and '-' (not first), as it names files", err);
  return true;
}

bool CheckProductVersion(const std::string& version, std::string* err) {
  if (!AllOf(version, ".+-_~"))
    return Refuse("--version '" + version + "': use letters, digits and '.+-_~'", err);
  return true;
}

bool CheckClassName(const std::string& name, std::string* err) {
  size_t at = 0;
  while (at <= name.size()) {
    size_t dot = name.find('.', at);
    if (dot == std::string::npos) dot = name.size();
    std::string part = name.substr(at, dot - at);
    if (!AllOf(part, "_$") || isdigit(static_cast<unsigned char>(part[0])))
      return Refuse("'" + name + "' is not a Java class name", err);
    at = dot + 1;
  }
  return true;
}
