#include "BundleLayout.h"

#include <filesystem>

namespace NDUtilities {

namespace fs = std::filesystem;

std::optional<std::string> applicationBundleOfExecutable(const std::string& executablePath)
{
    const fs::path macOS = fs::path(executablePath).parent_path();
    const fs::path contents = macOS.parent_path();
    const fs::path root = contents.parent_path();
    if (macOS.filename() != "MacOS" || contents.filename() != "Contents")
        return std::nullopt;
    // "X.app" needs a name before its extension: ".app" alone is a hidden
    // folder without one.
    if (root.extension() != ".app" || root.stem().empty())
        return std::nullopt;
    return root.string();
}

std::string bundleRootForExecutable(const std::string& executablePath)
{
    return applicationBundleOfExecutable(executablePath).value_or(fs::path(executablePath).parent_path().string());
}

std::string infoPlistPathOfBundle(const std::string& bundleRoot)
{
    return (fs::path(bundleRoot) / "Contents" / "Info.plist").string();
}

} // namespace NDUtilities
