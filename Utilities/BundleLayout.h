#pragma once

#include <string>

namespace NDUtilities {

// The bundle folder that holds an executable: "X.app" for an executable in
// "X.app/Contents/MacOS/", otherwise the folder the executable lies in, as the
// platform treats a bare executable as its own bundle.
std::string bundleRootForExecutable(const std::string& executablePath);

// Contents/Info.plist of a bundle folder.
std::string infoPlistPathOfBundle(const std::string& bundleRoot);

}  // namespace NDUtilities
