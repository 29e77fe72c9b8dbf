#include "BundleLayout.h"

namespace NDUtilities {

namespace {

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string bundleRootForExecutable(const std::string& executablePath)
{
    const std::string folder = parentOf(executablePath);
    const std::string suffix = ".app/Contents/MacOS";
    if (endsWith(folder, suffix)) {
        const std::string root = folder.substr(0, folder.size() - std::string("/Contents/MacOS").size());
        // "X.app" needs a name before its extension.
        const auto nameStart = root.find_last_of('/') + 1;
        if (root.size() - nameStart > std::string(".app").size())
            return root;
    }
    return folder;
}

std::string infoPlistPathOfBundle(const std::string& bundleRoot)
{
    const bool endsInSlash = !bundleRoot.empty() && bundleRoot.back() == '/';
    return bundleRoot + (endsInSlash ? "Contents/Info.plist" : "/Contents/Info.plist");
}

}  // namespace NDUtilities
