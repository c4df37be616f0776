// What mksetup --app tells the installer kit about the product:
// package/product.properties, in java.util.Properties' format, and the
// checks of the maker's texts and names that go into it.
#pragma once

#include <string>
#include <vector>

#include "packager/command_line.h"

/// Checks the options that describe the product to users and desktops:
/// titles, descriptions and vendor (one line of UTF-8 each), languages (ll
/// or ll_CC), freedesktop.org main categories (each once, Audio and Video
/// with AudioVideo), file types (EXT=type/subtype, each EXT once) and the
/// --launcher commands (names as --name, distinct, classes as
/// --main-class); JVM options (one line each, beginning with "-") and
/// arguments must be UTF-8. False with a message in *err naming the option.
bool CheckProductDescription(const AppOptions& app, std::string* err);

/// True when text is valid UTF-8, as every text of product.properties must be.
bool IsUtf8(const std::string& text);

/// text as a message may show it on a terminal: each control character as
/// \t, \n, \r or \xHH, and each byte that is not part of a UTF-8
/// character as \xHH.
std::string ShownName(const std::string& text);

/// text escaped as a value (or, with key, a key) of a .properties file:
/// Properties.load reads back exactly text, which must be valid UTF-8;
/// everything outside printable ASCII is written as \uXXXX.
std::string PropertiesEscape(const std::string& text, bool key = false);

/// package/product.properties for app, whose main command runs mainClass
/// with classPath (relative to app.dir) after the main jar.
std::string ProductProperties(const AppOptions& app, const std::string& mainClass,
                              const std::vector<std::string>& classPath);
