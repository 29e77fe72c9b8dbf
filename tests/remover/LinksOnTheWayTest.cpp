// The removal runs as root over a home folder that an ordinary user controls.
// These tests play that user: the home belongs to an ordinary account, and the
// links it makes belong to that account too. The machine-wide entries are
// reached from a folder of the test's own, never from "/".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "RemovalTool.h"
#include "ResultFile.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;

namespace {

// An account that is neither root nor the home's owner.
const uid_t kOtherUser = 4242;

const char* const kProductItems[] = {
    "Library/Preferences/com.nordaxis.tallowmere.plist",
    "Library/Preferences/Tallowmere Prefs.plist",
    "Library/Application Support/Nordaxis/data.bin",
    "Documents/Nordaxis/results/run1.txt",
};

class LinksOnTheWay : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the links must belong to another user than the removal";
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "no ordinary account to own the home";
        m_user = *user;
        prepare();
    }

    // A fresh installation in a new temporary folder.
    void prepare()
    {
        m_tmp = std::make_unique<TempDir>();
        openUpPermissions(m_tmp->path());
        for (const char* item : kProductItems)
            writeFile(home() + "/" + item, "x");
        writeFile(home() + "/Documents/keep.txt", "keep");
        writeFile(machine() + "/Applications/Tallowmere 5.4.1/Contents/binary", "x");
        writeFile(machine() + "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX", "x");
        writeFile(machine() + "/Library/Application Support/Nordaxis/Tallowmere/Templates/other.qmx", "x");
        writeFile(machine() + "/Library/Application Support/Nordaxis/Shared/keep.txt", "keep");
        writeFile(machine() + "/Library/Preferences/com.nordaxis.machine.plist", "keep");
        giveTo(home(), m_user.uid, m_user.gid);
    }

    std::string home() const { return *m_tmp / "home"; }
    std::string machine() const { return *m_tmp / "machine"; }
    std::string tmp(const std::string& relative) const { return *m_tmp / relative; }

    // A folder outside the home holding what the user paths would name there.
    std::string outsideFolder(const std::string& name, uid_t owner)
    {
        const std::string folder = tmp(name);
        writeFile(folder + "/Nordaxis/keep.txt", "keep");
        writeFile(folder + "/com.nordaxis.victim.plist", "keep");
        writeFile(folder + "/Tallowmere Prefs.plist", "keep");
        giveTo(folder, owner, owner);
        return folder;
    }

    // Replaces a folder of the home with a link of the user's.
    void replaceByUserLink(const std::string& relative, const std::string& target)
    {
        const std::string path = home() + "/" + relative;
        std::filesystem::remove_all(path);
        makeSymlink(target, path);
        ASSERT_EQ(lchown(path.c_str(), m_user.uid, m_user.gid), 0);
    }

    std::unique_ptr<TempDir> m_tmp;
    OrdinaryUser m_user {};
};

int countFiles(const std::string& folder)
{
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

} // namespace

TEST_F(LinksOnTheWay, MachineWideEntriesAreRemovedFromTheirOwnRoot)
{
    const RemovalOutcome outcome = runRemoval(6, home(), machine());
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.homeOwner, m_user.uid);
    EXPECT_FALSE(entryExists(machine() + "/Applications/Tallowmere 5.4.1"));
    EXPECT_FALSE(entryExists(machine() + "/Library/Application Support/Nordaxis/Tallowmere/Templates"));
    EXPECT_TRUE(entryExists(machine() + "/Library/Application Support/Nordaxis/Shared/keep.txt"));
    EXPECT_TRUE(entryExists(machine() + "/Library/Preferences/com.nordaxis.machine.plist"));
    for (const char* item : kProductItems)
        EXPECT_FALSE(entryExists(home() + "/" + item)) << item;
    EXPECT_TRUE(entryExists(home() + "/Documents/keep.txt"));
}

TEST_F(LinksOnTheWay, UserLinkIntoSomeoneElsesFolderIsNotFollowed)
{
    const struct {
        const char* folder;
        const char* relativeTarget; // inside the outside folder; empty for the folder itself
    } cases[] = {
        { "Documents", "" },
        { "Library/Preferences", "" },
        { "Library/Application Support", "" },
        { "Library", "machine/Library" },
    };
    for (const auto& c : cases) {
        for (const uid_t owner : { uid_t(0), kOtherUser }) {
            SCOPED_TRACE(std::string(c.folder) + " owned by " + std::to_string(owner));
            prepare();
            std::string target = outsideFolder("outside", owner);
            if (*c.relativeTarget) {
                target = tmp(c.relativeTarget);
                giveTo(target, owner, owner);
            }
            const int machineFiles = countFiles(machine());
            replaceByUserLink(c.folder, target);

            EXPECT_FALSE(runRemoval(6, home(), "/nonexistent-machine-root").ok);
            EXPECT_EQ(countFiles(tmp("outside")), 3);
            EXPECT_EQ(countFiles(machine()), machineFiles);
        }
    }
}

TEST_F(LinksOnTheWay, LinksThatUsersReallyMakeStillWork)
{
    // A data folder moved elsewhere on the home's disk, a settings folder
    // made by an administrator's link in a folder of root's: both are followed.
    const std::string moved = outsideFolder("moved-documents", m_user.uid);
    replaceByUserLink("Documents", moved);
    const std::string adminFolder = outsideFolder("admin-prefs", 0);
    std::filesystem::remove_all(home() + "/Library/Preferences");
    makeSymlink(adminFolder, home() + "/Library/Preferences");
    giveTo(home() + "/Library", 0, 0);

    EXPECT_TRUE(runRemoval(6, home(), machine()).ok);
    EXPECT_FALSE(entryExists(moved + "/Nordaxis"));
    EXPECT_FALSE(entryExists(adminFolder + "/com.nordaxis.victim.plist"));
    EXPECT_FALSE(entryExists(adminFolder + "/Tallowmere Prefs.plist"));
    EXPECT_TRUE(isSymlink(home() + "/Documents"));
}

TEST_F(LinksOnTheWay, LookUpErrorsAreFailuresNotAbsence)
{
    const std::string longName(300, 'n');
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        { "a loop of links on the way",
            [&] {
                replaceByUserLink("Documents", "loop-b");
                replaceByUserLink("loop-b", "Documents");
            } },
        { "a loop as the entry itself",
            [&] {
                replaceByUserLink("Documents/Nordaxis", "Nordaxis-b");
                replaceByUserLink("Documents/Nordaxis-b", "Nordaxis");
            } },
        { "a name too long on the way", [&] { replaceByUserLink("Documents", longName + "/y"); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare();
        c.make();
        EXPECT_FALSE(runRemoval(4, home(), machine()).ok);
    }
    EXPECT_FALSE(runRemoval(4, home() + "/" + longName, machine()).ok);
}

// The user swaps folders of the home for links into a folder of root's while
// the removal runs, from a process of their own.
TEST_F(LinksOnTheWay, FoldersSwappedForLinksDuringTheRunLeadNowhere)
{
    const int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        prepare();
        const std::string outside = outsideFolder("outside", 0);
        for (int i = 0; i < 50; ++i)
            writeFile(home() + "/Documents/Nordaxis/f" + std::to_string(i), "x");
        giveTo(home(), m_user.uid, m_user.gid);

        const pid_t attacker = fork();
        ASSERT_GE(attacker, 0);
        if (attacker == 0) {
            if (setgid(m_user.gid) != 0 || setuid(m_user.uid) != 0)
                _exit(1);
            const std::string parked = home() + "/parked";
            for (;;) {
                for (const char* folder : { "/Documents", "/Library/Preferences", "/Library" }) {
                    const std::string path = home() + folder;
                    if (std::rename(path.c_str(), parked.c_str()) == 0) {
                        symlink(outside.c_str(), path.c_str());
                        unlink(path.c_str());
                        std::rename(parked.c_str(), path.c_str());
                    }
                }
            }
        }
        const RemovalOutcome outcome = runRemoval(6, home(), machine());
        kill(attacker, SIGKILL);
        waitpid(attacker, nullptr, 0);
        (void)outcome;
        ASSERT_EQ(countFiles(outside), 3);
    }
}

TEST_F(LinksOnTheWay, ResultFileOnlyInAFolderOfTheUserOrOfRoot)
{
    // A verdict planted by another user in a shared sticky folder is replaced.
    const std::string shared = tmp("shared");
    makeFolders(shared);
    chmod(shared.c_str(), 01777);
    writeFile(shared + "/1234.log", "success");
    giveTo(shared + "/1234.log", kOtherUser, kOtherUser);
    EXPECT_TRUE(writeResultFile(shared + "/1234.log", "failed", m_user.uid));
    EXPECT_EQ(readFile(shared + "/1234.log"), "failed");

    // A folder of another user's, or reached through a link of the user's
    // into one, gets nothing.
    const std::string others = outsideFolder("others", kOtherUser);
    replaceByUserLink("tmp", others);
    for (const std::string& path : { others + "/r.log", home() + "/tmp/r.log" }) {
        EXPECT_FALSE(writeResultFile(path, "success", m_user.uid)) << path;
        EXPECT_FALSE(entryExists(others + "/r.log")) << path;
    }
    EXPECT_TRUE(writeResultFile(home() + "/r.log", "success", m_user.uid));
}

// The user bind-mounts a folder of root's inside a mount namespace of their
// own and points folders of the home into it through /proc/<pid>/root.
TEST_F(LinksOnTheWay, LinksIntoAnotherMountNamespaceAreNotFollowed)
{
    const std::string victims[] = { tmp("victim-top"), tmp("victim-deep") };
    for (const std::string& victim : victims) {
        writeFile(victim + "/keep.txt", "keep");
        writeFile(victim + "/sub/keep.txt", "keep");
        chmod(victim.c_str(), 0700);
    }
    makeFolders(home() + "/ns/Nordaxis");
    makeFolders(home() + "/ns2/Nordaxis/deeper");
    giveTo(home(), m_user.uid, m_user.gid);
    const std::string ready = home() + "/ready";
    const std::string script = "mount --bind '" + victims[0] + "' '" + home() + "/ns/Nordaxis' && mount --bind '"
        + victims[1] + "' '" + home() + "/ns2/Nordaxis/deeper' && touch '" + ready + "' && exec sleep 600";

    const pid_t attacker = fork();
    ASSERT_GE(attacker, 0);
    if (attacker == 0) {
        if (setgid(m_user.gid) == 0 && setuid(m_user.uid) == 0)
            execl("/usr/bin/unshare", "unshare", "-Urm", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && !entryExists(ready); ++i)
        usleep(50 * 1000);
    if (!entryExists(ready)) {
        kill(attacker, SIGKILL);
        waitpid(attacker, nullptr, 0);
        GTEST_SKIP() << "an ordinary user cannot make a mount namespace here (user namespaces off?)";
    }
    const std::string view = "/proc/" + std::to_string(attacker) + "/root" + home();
    ASSERT_TRUE(entryExists(view + "/ns/Nordaxis/keep.txt")) << "the victim must be visible through the view";
    replaceByUserLink("Documents", view + "/ns");
    replaceByUserLink("Library/Application Support", view + "/ns2");

    const RemovalOutcome outcome = runRemoval(6, home(), machine());
    kill(attacker, SIGKILL);
    waitpid(attacker, nullptr, 0);
    EXPECT_FALSE(outcome.ok);
    for (const std::string& victim : victims)
        EXPECT_EQ(countFiles(victim), 2) << victim;
}

// A home given with ".." lets a link of the user's decide where it leads, and
// the user may repoint that link between the moment the home is checked and
// the moment it is used.
TEST_F(LinksOnTheWay, HomeWithDotDotIsRefused)
{
    makeFolders(home() + "/a/b");
    giveTo(home(), m_user.uid, m_user.gid);
    replaceByUserLink("lnk", home() + "/a/b");
    const int machineFiles = countFiles(machine());
    for (const std::string& given : { home() + "/lnk/../..", home() + "/a/..", home() + "/a/b/../../" }) {
        SCOPED_TRACE(given);
        EXPECT_FALSE(runRemoval(6, given, machine()).ok);
        for (const char* item : kProductItems)
            EXPECT_TRUE(entryExists(home() + "/" + item)) << item;
        EXPECT_EQ(countFiles(machine()), machineFiles);
    }
}

// The owner of a folder in the home (or of a sticky folder elsewhere that a
// link of theirs leads to) may rename another user's folder there to a name
// the removal lists. Root removes only what the home's owner could remove.
TEST_F(LinksOnTheWay, OtherUsersFoldersUnderTheHomeAreLeft)
{
    enum Owner { OtherUser, Root, HomeOwner };
    const struct {
        const char* what;
        const char* folder; // inside the home, or inside the sticky folder
        Owner owner;
        const char* viaStickyFolder; // this folder of the home is a link of the user's to a sticky folder of
                                     // theirs; empty for none
        bool removed;
    } cases[] = {
        { "another user's folder as the entry", "Documents/Nordaxis", OtherUser, "", false },
        { "another user's folder inside the entry", "Documents/Nordaxis/results", OtherUser, "", false },
        { "another user's folder as a settings entry", "Library/Application Support/Nordaxis", OtherUser, "", false },
        { "another user's folder through a link to a sticky folder", "Documents/Nordaxis", OtherUser, "Documents",
            false },
        { "another user's folder on the way, renamed in a sticky folder", "Library/Preferences", OtherUser, "Library",
            false },
        { "a folder of root's inside the entry", "Documents/Nordaxis/results", Root, "", true },
        { "the user's own folder through a link to a sticky folder", "Documents/Nordaxis", HomeOwner, "Documents",
            true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare();
        std::string top = home();
        if (*c.viaStickyFolder) {
            top = tmp("sticky");
            writeFile(top + "/Documents/Nordaxis/results/run1.txt", "x");
            makeFolders(top + "/Library");
            giveTo(top, m_user.uid, m_user.gid);
            chmod((top + "/" + c.viaStickyFolder).c_str(), 01777);
            replaceByUserLink(c.viaStickyFolder, top + "/" + c.viaStickyFolder);
        }
        const std::string folder = top + "/" + c.folder;
        for (int i = 0; i < 5; ++i)
            writeFile(folder + "/f" + std::to_string(i), "x");
        // What the removal lists there, were it to pass through the folder.
        writeFile(folder + "/com.nordaxis.settings.plist", "x");
        writeFile(folder + "/Tallowmere Prefs.plist", "x");
        writeFile(folder + "/Nordaxis/x", "x");
        const uid_t owner = c.owner == OtherUser ? kOtherUser : c.owner == Root ? 0 : m_user.uid;
        giveTo(folder, owner, owner);
        const int files = countFiles(folder);

        EXPECT_EQ(runRemoval(6, home(), machine()).ok, c.removed);
        EXPECT_EQ(entryExists(folder), !c.removed);
        if (!c.removed) {
            EXPECT_EQ(countFiles(folder), files);
        }
        // Whatever else was listed goes all the same.
        if (std::string(c.folder) != "Library/Preferences") {
            EXPECT_FALSE(entryExists(home() + "/Library/Preferences/com.nordaxis.tallowmere.plist"));
        }
    }

    // Machine-wide entries keep their rule: root removes what lies there.
    prepare();
    writeFile(machine() + "/Applications/Tallowmere 5.4.1/Contents/Others/f", "x");
    giveTo(machine() + "/Applications/Tallowmere 5.4.1/Contents/Others", kOtherUser, kOtherUser);
    EXPECT_TRUE(runRemoval(0, home(), machine()).ok);
    EXPECT_FALSE(entryExists(machine() + "/Applications/Tallowmere 5.4.1"));
}

// Who owns a link says nothing about who put it where it stands: a user may
// give a link of root's a second name in a folder of their own (protected
// hardlinks off, or a file system without them), or move one that root made
// in their home to a name the removal lists.
TEST_F(LinksOnTheWay, RootsLinksLeadOnlyFromRootsFolders)
{
    enum Place { SecondName, MovedIntoTheHome, InAFolderOfRoots };
    const struct {
        const char* what;
        Place place;
        bool followed;
    } cases[] = {
        { "a second name of root's link in the user's folder", SecondName, false },
        { "root's link renamed in the user's folder", MovedIntoTheHome, false },
        { "root's link in a folder of root's", InAFolderOfRoots, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare();
        const std::string rootsFolder = outsideFolder("roots-documents", 0);
        // The entry looked for: Documents/Nordaxis, or, in a folder of root's,
        // Library/Application Support/Nordaxis.
        const std::string link = home() + (c.place == InAFolderOfRoots ? "/Library/Application Support" : "/Documents");
        std::filesystem::remove_all(link);
        switch (c.place) {
        case SecondName:
            makeSymlink(rootsFolder, tmp("roots-link"));
            ASSERT_EQ(linkat(AT_FDCWD, tmp("roots-link").c_str(), AT_FDCWD, link.c_str(), 0), 0);
            break;
        case MovedIntoTheHome:
            makeSymlink(rootsFolder, home() + "/shared");
            ASSERT_EQ(std::rename((home() + "/shared").c_str(), link.c_str()), 0);
            break;
        case InAFolderOfRoots:
            makeSymlink(rootsFolder, link);
            giveTo(home() + "/Library", 0, 0);
            break;
        }
        ASSERT_TRUE(isSymlink(link));

        EXPECT_EQ(runRemoval(6, home(), machine()).ok, c.followed);
        EXPECT_EQ(entryExists(rootsFolder + "/Nordaxis"), !c.followed);
    }
}

// Where a folder may be looked into but not listed (as macOS treats a root job
// without full disk access on ~/Documents), an entry that provably is not
// there is absent; one that is there, or a look-up that is refused, fails.
// A folder of mode 0111 has that shape for an ordinary user.
TEST_F(LinksOnTheWay, FolderThatCannotBeListedStillTellsAbsence)
{
    const struct {
        const char* what;
        const char* closed; // inside the home
        mode_t mode;
        const char* remove; // inside the home, removed before the run; empty for none
        int mask;
        bool ok;
    } cases[] = {
        { "the entry is not there", "Documents", 0111, "Documents/Nordaxis", 4, true },
        { "the entry is there", "Documents", 0111, "", 4, false },
        { "a folder on the way is not there", "Library", 0111, "Library/Application Support", 2, true },
        { "a folder on the way is there", "Library", 0111, "", 2, false },
        { "the folder refuses look-ups too", "Documents", 0000, "Documents/Nordaxis", 4, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare();
        if (*c.remove)
            std::filesystem::remove_all(home() + "/" + c.remove);
        if (std::string(c.closed) == "Library")
            std::filesystem::remove_all(home() + "/Library/Preferences");
        const std::string closed = home() + "/" + c.closed;
        ASSERT_EQ(chmod(closed.c_str(), c.mode), 0);
        std::string whyNot;
        const std::string machineRoot = tmp("no-machine-root");
        const auto status
            = runInChildAsOrdinaryUser([&] { return runRemoval(c.mask, home(), machineRoot).ok ? 0 : 1; }, &whyNot);
        chmod(closed.c_str(), 0755);
        if (!status)
            GTEST_SKIP() << whyNot;
        EXPECT_EQ(*status, c.ok ? 0 : 1);
    }
}

} // namespace remover
