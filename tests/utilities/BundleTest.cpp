#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "Bundle.h"
#include "TestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string infoPlist(const std::string& key, const std::string& value)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n<key>" + key + "</key><string>"
        + value + "</string>\n</dict></plist>\n";
}

// Copies the probe program to `executable` and returns what it reports.
std::map<std::string, std::string> probe(const std::string& executable, const std::string& pluginName)
{
    makeFolders(fs::path(executable).parent_path());
    fs::copy_file(TW_BUNDLE_PROBE, executable, fs::copy_options::skip_existing);
    const ProcessResult result = runProgram({ executable, pluginName });
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    std::map<std::string, std::string> report;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
        report[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return report;
}

} // namespace

TEST(Bundle, ProgramInsideAnAppBundleSeesItsFoldersByteForByte)
{
    for (const std::string name : { "Probe", "Prüfung Ω 测试" }) {
        TempDir tmp;
        // As the link to the running executable names it, without detours.
        const std::string top = fs::canonical(tmp.path()).string() + "/" + name;
        const std::string apps = top + "/Suite " + name;
        const std::string root = apps + "/" + name + ".app";
        writeFile(root + "/Contents/Info.plist", infoPlist("CFBundleIdentifier", "com.example." + name));
        makeFolders(root + "/Contents/PlugIns/Plüg-in");

        auto report = probe(root + "/Contents/MacOS/" + name, "Plüg-in");
        EXPECT_EQ(report["applicationPath"], root + "/Contents/MacOS/" + name);
        EXPECT_EQ(report["rootPath"], root);
        EXPECT_EQ(report["applicationBundlePath"], apps);
        EXPECT_EQ(report["pluginsPath"], root + "/Contents/PlugIns");
        EXPECT_EQ(report["resourcePath"], root + "/Contents/Resources");
        EXPECT_EQ(report["latticaExePath"], apps + "/TW Lattica.app/Contents/MacOS/TW Lattica");
        EXPECT_EQ(report["nativeToolPathDir"], top + "/Tallowmere External Tools");
        EXPECT_EQ(report["identifier"], "com.example." + name);
        EXPECT_EQ(report["plugin"], root + "/Contents/PlugIns/Plüg-in");
        EXPECT_EQ(probe(root + "/Contents/MacOS/" + name, "Missing")["plugin"], "");
    }
}

TEST(Bundle, BareExecutableOrMissingIdentifier)
{
    TempDir tmp;
    const std::string top = fs::canonical(tmp.path()).string();
    auto report = probe(top + "/bare/probe", "Missing");
    EXPECT_EQ(report["applicationPath"], top + "/bare/probe");
    EXPECT_EQ(report["rootPath"], top + "/bare");
    EXPECT_EQ(report["applicationBundlePath"], top);
    EXPECT_EQ(report["pluginsPath"], top + "/bare/PlugIns");
    EXPECT_EQ(report["resourcePath"], top + "/bare");
    EXPECT_EQ(report["identifier"], "");

    EXPECT_EQ(probe(top + "/NoPlist.app/Contents/MacOS/NoPlist", "x")["identifier"], "");
    writeFile(top + "/NoKey.app/Contents/Info.plist", infoPlist("CFBundleName", "NoKey"));
    EXPECT_EQ(probe(top + "/NoKey.app/Contents/MacOS/NoKey", "x")["identifier"], "");
}

TEST(Bundle, NoBundleWhereNoFolderIs)
{
    TempDir tmp;
    writeFile(tmp / "file");
    for (const std::string& path : { tmp / "missing", tmp / "file", std::string() }) {
        Bundle none(path);
        Bundle copy(none);
        EXPECT_EQ(none.rootPath() + copy.rootPath() + copy.executablePath() + copy.pluginsPath() + copy.resourcePath()
                + copy.identifier(),
            "")
            << path;
    }
    Bundle plugin = Bundle::pluginsBundleNamed("No Such Plug-in");
    EXPECT_EQ(Bundle(plugin).rootPath(), "");
    EXPECT_EQ(plugin.convertToString(nullptr), "");
}

TEST(Bundle, AnyFolderOpensAsABundleAndCopiesHoldTheirOwnReference)
{
    TempDir tmp;
    const std::string top = fs::canonical(tmp.path()).string();
    const std::string root = top + "/Other.app";
    writeFile(root + "/Contents/Info.plist", infoPlist("CFBundleExecutable", "Runner"));

    auto* original = new Bundle(root + "//");
    Bundle copy(*original);
    delete original;
    EXPECT_EQ(copy.rootPath(), root);
    EXPECT_EQ(copy.pluginsPath(), root + "/Contents/PlugIns");
    EXPECT_EQ(copy.executablePath(), "") << "the named executable is not there yet";
    writeFile(root + "/Contents/MacOS/Runner");
    EXPECT_EQ(Bundle(root).executablePath(), root + "/Contents/MacOS/Runner");

    EXPECT_EQ(Bundle(top).resourcePath(), top) << "a folder without Contents is flat";
    const fs::path previous = fs::current_path();
    fs::current_path(top);
    Bundle relative(std::string("Other.app"));
    fs::current_path(previous);
    EXPECT_EQ(relative.rootPath(), root) << "relative paths count from the working folder";
}
