#include "Bundle.h"

#include <limits.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include <boost/filesystem/operations.hpp>

#include "BundleLayout.h"
#include "InfoPlist.h"
#include "Paths.h"

// The bundle object of this platform: a bundle folder on disk, laid out as
// macOS lays out an application ("X.app/Contents/MacOS/<executable>") or flat
// (a bare executable's folder). Shared between copies and never changed.
struct BundleObject {
    std::string root;
    bool hasContents = false;
    std::optional<std::string> executable;
};

namespace {

std::string joined(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::optional<std::string> runningExecutable()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::shared_ptr<const BundleObject> mainBundleObject()
{
    const std::optional<std::string> exe = runningExecutable();
    if (!exe)
        return nullptr;
    auto bundle = std::make_shared<BundleObject>();
    bundle->root = NDUtilities::bundleRootForExecutable(*exe);
    bundle->hasContents = NDUtilities::applicationBundleOfExecutable(*exe).has_value();
    bundle->executable = exe;
    return bundle;
}

// An application's executable is named by its Info.plist, else after the
// bundle folder; the platform answers it only when the file is there.
std::optional<std::string> executableInContents(const std::string& root)
{
    namespace fs = boost::filesystem;
    const std::string name = NDUtilities::infoPlistString(NDUtilities::infoPlistPathOfBundle(root), "CFBundleExecutable")
                                 .value_or(fs::path(root).stem().string());
    const std::string path = joined(root, "Contents/MacOS/" + name);
    boost::system::error_code error;
    if (name.empty() || !fs::is_regular_file(path, error))
        return std::nullopt;
    return path;
}

// A bundle exists wherever a folder exists, as on macOS, where any folder can
// be opened as a bundle. No bundle is at a path that names nothing, names a
// file, or cannot be looked at: such a wrapper holds nothing. Relative paths
// count from the working folder; trailing slashes are not part of the name.
std::shared_ptr<const BundleObject> bundleObjectAt(const std::string& path)
{
    namespace fs = boost::filesystem;
    if (path.empty())
        return nullptr;
    boost::system::error_code error;
    if (!fs::is_directory(path, error))
        return nullptr;
    std::string root = path;
    if (root.front() != '/') {
        const fs::path workingFolder = fs::current_path(error);
        if (error)
            return nullptr;
        root = (workingFolder / path).string();
    }
    root = NDUtilities::withoutTrailingSeparators(root);

    auto bundle = std::make_shared<BundleObject>();
    bundle->root = root;
    bundle->hasContents = fs::is_directory(joined(root, "Contents"), error);
    if (bundle->hasContents)
        bundle->executable = executableInContents(root);
    return bundle;
}

const char* textOf(const std::optional<std::string>& text)
{
    return text ? text->c_str() : nullptr;
}

}  // namespace

Bundle::Bundle()
    : m_bundle(mainBundleObject())
{
}

Bundle::Bundle(const std::string& path)
    : m_bundle(bundleObjectAt(path))
{
}

Bundle::Bundle(const Bundle& other) = default;

Bundle::~Bundle() = default;

Bundle Bundle::mainBundle()
{
    return Bundle();
}

Bundle Bundle::pluginsBundleNamed(std::string name)
{
    const std::string plugins = mainBundle().pluginsPath();
    if (plugins.empty())
        return Bundle(std::string());
    return Bundle(joined(plugins, name));
}

std::string Bundle::rootPath()
{
    return convertToString(m_bundle ? m_bundle->root.c_str() : nullptr);
}

std::string Bundle::executablePath()
{
    return convertToString(m_bundle ? textOf(m_bundle->executable) : nullptr);
}

std::string Bundle::pluginsPath()
{
    if (!m_bundle)
        return convertToString(nullptr);
    return joined(m_bundle->root, m_bundle->hasContents ? "Contents/PlugIns" : "PlugIns");
}

std::string Bundle::resourcePath()
{
    if (!m_bundle)
        return convertToString(nullptr);
    return m_bundle->hasContents ? joined(m_bundle->root, "Contents/Resources") : m_bundle->root;
}

std::string Bundle::identifier()
{
    if (!m_bundle)
        return convertToString(nullptr);
    const auto identifier =
        NDUtilities::infoPlistString(NDUtilities::infoPlistPathOfBundle(m_bundle->root), "CFBundleIdentifier");
    return convertToString(textOf(identifier));
}

std::string Bundle::convertToString(const char* text)
{
    return text ? std::string(text) : std::string();
}
