#include "Paths.h"

#include <boost/filesystem/operations.hpp>

#include "AssertFailureReporter.h"

// The maker's product folders and the lookup of external tools, built on the
// platform folders.

namespace NDUtilities {

namespace fs = boost::filesystem;

fs::path Paths::createDirectories(const fs::path& path)
{
    fs::create_directories(path);
    return path;
}

// Machine-wide: only an installer with the rights for it creates this one.
fs::path Paths::tallowmereAppSupportPath()
{
    return appSupportPath() / "Nordaxis" / "Tallowmere";
}

fs::path Paths::tallowmereUserAppSupportPath()
{
    return createDirectories(userAppSupportPath() / "Nordaxis" / "Tallowmere");
}

fs::path Paths::latticaUserAppSupportPath()
{
    return createDirectories(userAppSupportPath() / "Nordaxis" / "Tallowmere" / "Lattica");
}

fs::path Paths::testFilesPath()
{
    return createDirectories(fs::temp_directory_path() / "TalTests");
}

fs::path Paths::temporaryPath()
{
    return fs::temp_directory_path();
}

fs::path Paths::latticaTemporaryFilesPath()
{
    return createDirectories(fs::temp_directory_path() / "ND Lattica");
}

fs::path Paths::posixExePath(const std::string& toolName)
{
    return posixUsrLocalBinPath() / executableNameFor(toolName);
}

// The tools folder sits one level above the folder that holds the bundle, so
// that a suite's applications in a folder of their own share it.
fs::path Paths::nativeToolPathDir(const fs::path& subFolder)
{
    return applicationBundlePath().parent_path() / "Tallowmere External Tools" / subFolder;
}

fs::path Paths::nativeToolPath(const fs::path& subFolder, const std::string& toolName)
{
    return nativeToolPathDir(subFolder) / executableNameFor(toolName);
}

fs::path Paths::exe(bool native, const fs::path& subFolder, const std::string& toolName)
{
    if (native)
        return nativeToolPath(subFolder, toolName);
    if (subFolder.parent_path().empty())
        return posixExePath(toolName);
    if (!subFolder.parent_path().parent_path().empty())
        assertFailure("Service only works with up to two directory levels", __FILE__, __LINE__);
    return posixUsrLocalPath() / "Nordaxis" / subFolder / toolName;
}

fs::path Paths::exeOrPerl(bool native, const fs::path& subFolder, const std::string& toolName)
{
    if (native)
        return nativeToolPath(subFolder, toolName);
    return posixUsrBinPath("perl");
}

} // namespace NDUtilities
