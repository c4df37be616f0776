#include "launcher/profile.h"

namespace {

void NoCleanup() {}

}  // namespace

const Profile kSetupProfile = {"bramlet", {"/package/PackageFormat.jar"}, "setup_", true, NoCleanup};

const Profile kUninstallProfile = {"bramlet_uninstall", {"/package/PackageFormat.jar"}, "uninstall_", false,
                                   NoCleanup};

std::string GetMessageKeyPrefix(const Profile& profile, const char* suffix) {
  return std::string(profile.keyPrefix) + suffix;
}
