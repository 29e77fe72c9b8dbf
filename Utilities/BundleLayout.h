#pragma once

#include <optional>
#include <string>

namespace NDUtilities {

// "X.app" for an executable directly in "X.app/Contents/MacOS/"; nothing for
// any other executable.
std::optional<std::string> applicationBundleOfExecutable(const std::string& executablePath);

// The bundle folder that holds an executable: its application bundle, or else
// the folder the executable lies in, as the platform treats a bare executable
// as its own bundle.
std::string bundleRootForExecutable(const std::string& executablePath);

// Contents/Info.plist of a bundle folder.
std::string infoPlistPathOfBundle(const std::string& bundleRoot);

} // namespace NDUtilities
