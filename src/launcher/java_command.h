// The options handed to the Java virtual machine, and the class path option
// among them.
#pragma once

#include <string>
#include <vector>

#include "launcher/profile.h"

/// Appends text to the options for the Java virtual machine.
void AddOption(std::string text);

/// The options appended so far, in the order appended.
const std::vector<std::string>& GetOptions();

/// "-Djava.class.path=": for a development kit its tools.jar and classes
/// first, then the application home and the profile's elements inside it.
std::string ClassPathOption(const char* jrePath, const char* home, const Profile& profile);
