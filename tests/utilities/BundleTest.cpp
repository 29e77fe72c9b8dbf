#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "Bundle.h"
#include "TestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string infoPlist(const std::string& dictBody)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + dictBody +
           "</dict>\n</plist>\n";
}

// Lays out "<folder>/<name>.app" with the probe program as its executable.
std::string makeApp(const std::string& folder, const std::string& name, const std::string& plistBody)
{
    const std::string root = folder + "/" + name + ".app";
    makeFolders(root + "/Contents/MacOS");
    if (!plistBody.empty())
        writeFile(root + "/Contents/Info.plist", infoPlist(plistBody));
    fs::copy_file(TW_BUNDLE_PROBE, root + "/Contents/MacOS/" + name);
    return root;
}

std::map<std::string, std::string> probe(const std::string& executable, const std::string& pluginName)
{
    const ProcessResult result = runProgram({executable, pluginName});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    std::map<std::string, std::string> report;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return report;
}

// The folder as the running executable's link names it, without detours.
std::string realFolder(const TempDir& tmp)
{
    return fs::canonical(tmp.path()).string();
}

}  // namespace

TEST(Bundle, ProgramInsideAnAppBundleSeesItsFolders)
{
    TempDir tmp;
    const std::string apps = realFolder(tmp) + "/Suite";
    const std::string root = makeApp(apps, "Probe", "<key>CFBundleIdentifier</key><string>com.example.probe</string>\n");
    makeFolders(root + "/Contents/PlugIns/Extra.bundle");

    auto report = probe(root + "/Contents/MacOS/Probe", "Extra.bundle");
    EXPECT_EQ(report["applicationPath"], root + "/Contents/MacOS/Probe");
    EXPECT_EQ(report["rootPath"], root);
    EXPECT_EQ(report["applicationBundlePath"], apps);
    EXPECT_EQ(report["pluginsPath"], root + "/Contents/PlugIns");
    EXPECT_EQ(report["resourcePath"], root + "/Contents/Resources");
    EXPECT_EQ(report["latticaExePath"], apps + "/TW Lattica.app/Contents/MacOS/TW Lattica");
    EXPECT_EQ(report["nativeToolPathDir"], realFolder(tmp) + "/Tallowmere External Tools");
    EXPECT_EQ(report["identifier"], "com.example.probe");
    EXPECT_EQ(report["plugin"], root + "/Contents/PlugIns/Extra.bundle");

    report = probe(root + "/Contents/MacOS/Probe", "Missing.bundle");
    EXPECT_EQ(report["plugin"], "") << "a plug-in that is not there has no bundle";
}

TEST(Bundle, NonAsciiFolderNamesComeBackByteForByte)
{
    TempDir tmp;
    const std::string apps = realFolder(tmp) + "/Ünïcødé Ω 测试";
    const std::string root = makeApp(apps, "Prüfung", "<key>CFBundleIdentifier</key><string>com.example.é</string>\n");

    auto report = probe(root + "/Contents/MacOS/Prüfung", "Plüg-in");
    EXPECT_EQ(report["applicationPath"], root + "/Contents/MacOS/Prüfung");
    EXPECT_EQ(report["applicationBundlePath"], apps);
    EXPECT_EQ(report["pluginsPath"], root + "/Contents/PlugIns");
    EXPECT_EQ(report["resourcePath"], root + "/Contents/Resources");
    EXPECT_EQ(report["latticaExePath"], apps + "/TW Lattica.app/Contents/MacOS/TW Lattica");
    EXPECT_EQ(report["identifier"], "com.example.é");

    makeFolders(root + "/Contents/PlugIns/Plüg-in");
    report = probe(root + "/Contents/MacOS/Prüfung", "Plüg-in");
    EXPECT_EQ(report["plugin"], root + "/Contents/PlugIns/Plüg-in");
}

TEST(Bundle, ABareExecutableIsItsFoldersBundleWithoutIdentifier)
{
    TempDir tmp;
    const std::string folder = realFolder(tmp) + "/bare";
    makeFolders(folder);
    fs::copy_file(TW_BUNDLE_PROBE, folder + "/probe");

    auto report = probe(folder + "/probe", "Extra");
    EXPECT_EQ(report["applicationPath"], folder + "/probe");
    EXPECT_EQ(report["rootPath"], folder);
    EXPECT_EQ(report["applicationBundlePath"], realFolder(tmp));
    EXPECT_EQ(report["pluginsPath"], folder + "/PlugIns");
    EXPECT_EQ(report["resourcePath"], folder);
    EXPECT_EQ(report["identifier"], "");
    EXPECT_EQ(report["plugin"], "");
}

TEST(Bundle, AppWithoutIdentifierAnswersAnEmptyOne)
{
    TempDir tmp;
    const std::string noPlist = makeApp(realFolder(tmp), "NoPlist", "");
    EXPECT_EQ(probe(noPlist + "/Contents/MacOS/NoPlist", "x")["identifier"], "");
    const std::string noKey = makeApp(realFolder(tmp), "NoKey", "<key>CFBundleName</key><string>NoKey</string>\n");
    EXPECT_EQ(probe(noKey + "/Contents/MacOS/NoKey", "x")["identifier"], "");
    const std::string notAString =
        makeApp(realFolder(tmp), "NotAString", "<key>CFBundleIdentifier</key><integer>7</integer>\n");
    EXPECT_EQ(probe(notAString + "/Contents/MacOS/NotAString", "x")["identifier"], "");
}

TEST(Bundle, NoBundleWhereNoFolderIs)
{
    TempDir tmp;
    writeFile(tmp / "file");
    for (const std::string& path : {tmp / "missing", tmp / "file", std::string()}) {
        Bundle none(path);
        Bundle copy(none);
        EXPECT_EQ(none.rootPath(), "") << path;
        EXPECT_EQ(copy.rootPath(), "") << path;
        EXPECT_EQ(copy.executablePath(), "");
        EXPECT_EQ(copy.pluginsPath(), "");
        EXPECT_EQ(copy.resourcePath(), "");
        EXPECT_EQ(copy.identifier(), "");
    }
    Bundle plugin = Bundle::pluginsBundleNamed("No Such Plug-in");
    Bundle pluginCopy(plugin);
    EXPECT_EQ(pluginCopy.rootPath(), "");
    EXPECT_EQ(plugin.identifier(), "");
    EXPECT_EQ(plugin.convertToString(nullptr), "");
}

TEST(Bundle, AnyFolderOpensAsABundle)
{
    TempDir tmp;
    const std::string root = realFolder(tmp) + "/Other.app";
    makeFolders(root + "/Contents/MacOS");
    writeFile(root + "/Contents/Info.plist",
              infoPlist("<key>CFBundleIdentifier</key><string>com.example.other</string>\n"
                        "<key>CFBundleExecutable</key><string>Runner</string>\n"));

    auto* original = new Bundle(root + "//");
    Bundle copy(*original);
    delete original;  // the copy holds its own reference
    EXPECT_EQ(copy.rootPath(), root);
    EXPECT_EQ(copy.identifier(), "com.example.other");
    EXPECT_EQ(copy.pluginsPath(), root + "/Contents/PlugIns");
    EXPECT_EQ(copy.resourcePath(), root + "/Contents/Resources");
    EXPECT_EQ(copy.executablePath(), "") << "the named executable is not there yet";
    writeFile(root + "/Contents/MacOS/Runner");
    EXPECT_EQ(Bundle(root).executablePath(), root + "/Contents/MacOS/Runner");

    Bundle plain(realFolder(tmp));
    EXPECT_EQ(plain.rootPath(), realFolder(tmp));
    EXPECT_EQ(plain.resourcePath(), realFolder(tmp));
    EXPECT_EQ(plain.executablePath(), "");
    EXPECT_EQ(plain.identifier(), "");
}

TEST(Bundle, ARelativePathCountsFromTheWorkingFolder)
{
    TempDir tmp;
    makeFolders(tmp / "Rel.app/Contents");
    const fs::path previous = fs::current_path();
    fs::current_path(tmp.path());
    Bundle relative(std::string("Rel.app"));
    fs::current_path(previous);
    EXPECT_EQ(relative.rootPath(), realFolder(tmp) + "/Rel.app");
}
