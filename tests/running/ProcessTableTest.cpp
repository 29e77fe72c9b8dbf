#include "TallowmereRunning.h"
#include "TallowmereRunning_linux.h"

#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <gtest/gtest.h>

using testsupport::makeFolders;
using testsupport::makeSymlink;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kId = kTallowmereBundleIdentifier;

std::string status(uid_t uid, char state)
{
    return "Name:\tTallowmere\nState:\t" + std::string(1, state) + " (whatever)\nUid:\t" + std::to_string(uid) + "\t"
        + std::to_string(uid) + "\t" + std::to_string(uid) + "\t" + std::to_string(uid) + "\n";
}

const ProcessEntry* find(const std::vector<ProcessEntry>& table, pid_t pid)
{
    const auto it = std::find_if(table.begin(), table.end(), [pid](const ProcessEntry& p) { return p.pid == pid; });
    return it == table.end() ? nullptr : &*it;
}

} // namespace

// A made-up proc tree with the awkward cases a real one shows now and then.
TEST(ProcessTable, ReadsAMadeUpProcTreeWithoutTrippingOverOddEntries)
{
    TempDir temp;
    const std::string bundle = temp / "Tallowmere.app";
    writeFile(bundle + "/Contents/Info.plist",
        "<plist><dict><key>CFBundleIdentifier</key><string>" + kId + "</string></dict></plist>");
    const std::string exe = bundle + "/Contents/MacOS/Tallowmere";
    writeFile(exe);
    const std::string proc = temp / "proc";
    const uid_t me = 501;

    auto process = [&](const std::string& pid, const std::string& statusText, const std::string& exeTarget) {
        makeFolders(proc + "/" + pid);
        if (!statusText.empty())
            writeFile(proc + "/" + pid + "/status", statusText);
        if (!exeTarget.empty())
            makeSymlink(exeTarget, proc + "/" + pid + "/exe");
    };
    process("100", status(me, 'S'), exe); // a running copy
    process("101", status(502, 'S'), exe); // another user's copy
    process("102", status(me, 'Z'), ""); // a zombie: no executable any more
    process("103", "", exe); // gone between listing and reading
    process("104", status(me, 'S'), exe + " (deleted)"); // its file replaced since it started
    process("105", status(me, 'R'), ""); // being torn down, or not ours to read
    process("106", status(me, 'S'), "/usr/bin/something"); // another program
    process("107", "garbage\n", exe); // a status we cannot read
    process("99999999999", status(me, 'S'), exe); // too long to be a process id
    process("sys", status(me, 'S'), exe); // not a process folder
    makeSymlink("100", proc + "/self");

    const std::vector<ProcessEntry> table = readProcessTable(proc);
    ASSERT_EQ(table.size(), 7u); // 100, 101, 102, 104, 105, 106, 107
    EXPECT_EQ(find(table, 103), nullptr);
    EXPECT_EQ(find(table, 104)->executable, exe);
    EXPECT_EQ(find(table, 105)->executable, "");
    EXPECT_FALSE(find(table, 107)->realUid);

    std::vector<pid_t> counted = countedProcesses(table, me, kId);
    std::sort(counted.begin(), counted.end());
    EXPECT_EQ(counted, (std::vector<pid_t> { 100, 104 }));
}

TEST(ProcessTable, AProcRootThatCannotBeListedGivesAnEmptyTable)
{
    TempDir temp;
    EXPECT_TRUE(readProcessTable(temp / "missing").empty());
    writeFile(temp / "file");
    EXPECT_TRUE(readProcessTable(temp / "file").empty());
}

TEST(ProcessTable, TheRealProcTableShowsThisProcess)
{
    const std::vector<ProcessEntry> table = readProcessTable("/proc");
    const ProcessEntry* self = find(table, getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->realUid, getuid());
    EXPECT_EQ(self->state, 'R');
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    ASSERT_GT(length, 0);
    EXPECT_EQ(self->executable, std::string(path, static_cast<std::size_t>(length)));
}
