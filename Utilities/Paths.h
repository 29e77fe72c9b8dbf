#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

namespace NDUtilities {

// Directory kinds and domain masks of the platform's folder search, with the
// platform's own values.
enum : unsigned int {
    ApplicationDirectoryKind = 1,
    DocumentDirectoryKind = 9,
    DesktopDirectoryKind = 12,
    ApplicationSupportDirectoryKind = 14,
};
enum : unsigned int {
    UserDomainMask = 1,
    LocalDomainMask = 2,
    NetworkDomainMask = 4,
    SystemDomainMask = 8,
};

// The first folder the platform lists for a directory kind and domain mask;
// the empty path when it lists none.
boost::filesystem::path stockFolder(unsigned int directoryKind, unsigned int domainMask);

// Copies in which every "/" and ":" is replaced by "_"; nothing else changes.
std::string replaceIllegalFilesystemChars(const std::string& name);
std::wstring replaceIllegalFilesystemWideChars(const std::wstring& name);

// The path without separators at its end; "/" itself keeps its one.
std::string withoutTrailingSeparators(std::string path);

// Folders and files of the platform, the running application and the maker's
// products. Nothing here caches: every call asks the platform again.
class Paths {
public:
    static boost::filesystem::path pathFromUtf8(const char* text);
    static boost::filesystem::path pathFromUtf8(const std::string& text);

    // The running application.
    static boost::filesystem::path applicationPath();
    // The folder that holds the application's bundle folder.
    static boost::filesystem::path applicationBundlePath();
    static boost::filesystem::path pluginsPath();
    static boost::filesystem::path resourcePath();

    // Standard folders of the platform.
    static boost::filesystem::path homePath();
    static boost::filesystem::path appSupportPath();
    static boost::filesystem::path userAppSupportPath();
    static boost::filesystem::path userDocumentsPath();
    static boost::filesystem::path desktopPath();
    static boost::filesystem::path commonDesktopPath();
    static boost::filesystem::path systemApplicationsPath(const boost::filesystem::path& relative);
    static boost::filesystem::path nordaxisApplicationsPath(const boost::filesystem::path& relative);
    // The sibling product installed beside the running application's bundle.
    static boost::filesystem::path latticaExePath();

    // POSIX tool folders and executable names.
    static boost::filesystem::path posixUsrLocalBinPath();
    static boost::filesystem::path posixUsrLocalPath();
    static boost::filesystem::path posixSystemPath();
    static std::string executableNameFor(const std::string& toolName);
    static boost::filesystem::path posixUsrBinPath(const std::string& toolName);
    static boost::filesystem::path asShortPath(const boost::filesystem::path& path);
    static bool isExeInTallowmereExternalToolsDir(
        const boost::filesystem::path& relativeFolder, const std::string& toolName);

    // The maker's product folders. Those that create their folder let
    // boost::filesystem::filesystem_error through when they cannot.
    static boost::filesystem::path createDirectories(const boost::filesystem::path& path);
    static boost::filesystem::path tallowmereAppSupportPath();
    static boost::filesystem::path tallowmereUserAppSupportPath();
    static boost::filesystem::path latticaUserAppSupportPath();
    static boost::filesystem::path testFilesPath();
    static boost::filesystem::path temporaryPath();
    static boost::filesystem::path latticaTemporaryFilesPath();

    // External tools: shipped beside the application (native) or installed
    // under /usr/local.
    static boost::filesystem::path posixExePath(const std::string& toolName);
    static boost::filesystem::path nativeToolPathDir(const boost::filesystem::path& subFolder);
    static boost::filesystem::path nativeToolPath(
        const boost::filesystem::path& subFolder, const std::string& toolName);
    // A POSIX tool lives in /usr/local/bin for a sub-folder of at most one
    // level, else in /usr/local/Nordaxis/<sub-folder>; deeper than two levels
    // is a failed check.
    static boost::filesystem::path exe(
        bool native, const boost::filesystem::path& subFolder, const std::string& toolName);
    // The native tool, or else the system's perl.
    static boost::filesystem::path exeOrPerl(
        bool native, const boost::filesystem::path& subFolder, const std::string& toolName);
};

} // namespace NDUtilities
