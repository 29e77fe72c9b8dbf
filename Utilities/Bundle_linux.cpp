#include "Bundle.h"

#include <limits.h>
#include <unistd.h>

#include <memory>
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

// This platform's texts are UTF-8 already.
struct PlatformText {
    std::string utf8;
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

std::unique_ptr<BundleObject> mainBundleObject()
{
    const std::optional<std::string> exe = runningExecutable();
    if (!exe)
        return nullptr;
    auto bundle = std::make_unique<BundleObject>();
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
    const std::string name
        = NDUtilities::infoPlistString(NDUtilities::infoPlistPathOfBundle(root), "CFBundleExecutable")
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
std::unique_ptr<BundleObject> bundleObjectAt(const std::string& path)
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

    auto bundle = std::make_unique<BundleObject>();
    bundle->root = root;
    bundle->hasContents = fs::is_directory(joined(root, "Contents"), error);
    if (bundle->hasContents)
        bundle->executable = executableInContents(root);
    return bundle;
}

} // namespace

Bundle::Bundle()
    : Bundle(mainBundleObject().release())
{
}

Bundle::Bundle(const std::string& path)
    : Bundle(bundleObjectAt(path).release())
{
}

Bundle::Bundle(BundleObject* owned)
    : m_bundle(owned)
{
}

// The record is never changed, so each copy owns one of its own.
Bundle::Bundle(const Bundle& other)
    : Bundle(other.m_bundle ? new BundleObject(*other.m_bundle) : nullptr)
{
}

Bundle::~Bundle()
{
    delete m_bundle;
}

Bundle Bundle::mainBundle()
{
    return Bundle();
}

Bundle Bundle::pluginsBundleNamed(std::string name)
{
    const std::string plugins = mainBundle().pluginsPath();
    if (plugins.empty())
        return Bundle(nullptr);
    return Bundle(joined(plugins, name));
}

std::string Bundle::rootPath()
{
    return m_bundle ? m_bundle->root : std::string();
}

std::string Bundle::executablePath()
{
    return m_bundle ? m_bundle->executable.value_or(std::string()) : std::string();
}

std::string Bundle::pluginsPath()
{
    if (!m_bundle)
        return std::string();
    return joined(m_bundle->root, m_bundle->hasContents ? "Contents/PlugIns" : "PlugIns");
}

std::string Bundle::resourcePath()
{
    if (!m_bundle)
        return std::string();
    return m_bundle->hasContents ? joined(m_bundle->root, "Contents/Resources") : m_bundle->root;
}

std::string Bundle::identifier()
{
    if (!m_bundle)
        return std::string();
    return NDUtilities::infoPlistString(NDUtilities::infoPlistPathOfBundle(m_bundle->root), "CFBundleIdentifier")
        .value_or(std::string());
}

std::string Bundle::convertToString(const PlatformText* text)
{
    return text ? text->utf8 : std::string();
}
