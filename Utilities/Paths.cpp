#include "Paths.h"

#include <algorithm>

// The platform-independent half of the platform folders. The functions that
// ask the platform live in Paths_linux.cpp and Paths_mac.mm.

namespace NDUtilities {

namespace fs = boost::filesystem;

fs::path Paths::pathFromUtf8(const char* text)
{
    // A missing text makes an empty path rather than a read through null.
    return text ? fs::path(text) : fs::path();
}

fs::path Paths::pathFromUtf8(const std::string& text)
{
    return fs::path(text);
}

fs::path Paths::appSupportPath()
{
    return stockFolder(ApplicationSupportDirectoryKind, LocalDomainMask);
}

fs::path Paths::userAppSupportPath()
{
    return stockFolder(ApplicationSupportDirectoryKind, UserDomainMask);
}

fs::path Paths::userDocumentsPath()
{
    return stockFolder(DocumentDirectoryKind, UserDomainMask);
}

fs::path Paths::desktopPath()
{
    return stockFolder(DesktopDirectoryKind, UserDomainMask);
}

// There is no shared desktop; the user's own is the common one.
fs::path Paths::commonDesktopPath()
{
    return stockFolder(DesktopDirectoryKind, UserDomainMask);
}

fs::path Paths::systemApplicationsPath(const fs::path& relative)
{
    return stockFolder(ApplicationDirectoryKind, LocalDomainMask) / relative;
}

// The maker's applications live in the shared applications folder.
fs::path Paths::nordaxisApplicationsPath(const fs::path& relative)
{
    return systemApplicationsPath(relative);
}

fs::path Paths::latticaExePath()
{
    return applicationBundlePath() / "TW Lattica.app" / "Contents" / "MacOS" / "TW Lattica";
}

fs::path Paths::posixUsrLocalBinPath()
{
    return "/usr/local/bin";
}

fs::path Paths::posixUsrLocalPath()
{
    return "/usr/local";
}

fs::path Paths::posixSystemPath()
{
    return fs::path();
}

std::string Paths::executableNameFor(const std::string& toolName)
{
    return toolName;
}

fs::path Paths::posixUsrBinPath(const std::string& toolName)
{
    return fs::path("/usr/bin") / executableNameFor(toolName);
}

fs::path Paths::asShortPath(const fs::path& path)
{
    return path;
}

bool Paths::isExeInTallowmereExternalToolsDir(const fs::path&, const std::string&)
{
    return false;
}

std::string replaceIllegalFilesystemChars(const std::string& name)
{
    std::string result = name;
    std::replace_if(
        result.begin(), result.end(), [](char c) { return c == '/' || c == ':'; }, '_');
    return result;
}

std::wstring replaceIllegalFilesystemWideChars(const std::wstring& name)
{
    std::wstring result = name;
    std::replace_if(
        result.begin(), result.end(), [](wchar_t c) { return c == L'/' || c == L':'; }, L'_');
    return result;
}

std::string withoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace NDUtilities
