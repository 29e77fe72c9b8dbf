// The whole uninstall, as root, with the real job and the real removal tool:
// this program lies in a test bundle (WizardEndToEnd.app/Contents/MacOS) with
// a copy of the tool beside it, where the job looks for it. The tool deletes
// as root in the home folder it is given, so HOME points into a temporary
// folder from the first line of main on, and every test lays its own home.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "AuthorizeHelperTool.h"
#include "FakeProduct.h"
#include "TallowmereRunning.h"
#include "TestSupport.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;
using testsupport::entryExists;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char kPrefs[] = "Library/Preferences/";

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the real job starts the removal tool directly only as root "
                            "(as another user it asks through pkexec, which a test cannot answer)";
        if (const auto folder = testsupport::existingMachineWideFolder())
            GTEST_SKIP() << *folder << " exists on this machine; the removal tool would delete it";
        m_home = m_folder / "home";
        testsupport::makeFolders(m_home);
        ASSERT_EQ(setenv("HOME", m_home.c_str(), 1), 0);

        // What the uninstall takes with the default choices...
        writeFile(home(kPrefs + std::string("com.nordaxis.Tallowmere.plist")), "prefs");
        writeFile(home(kPrefs + std::string("Tallowmere Prefs.plist")), "prefs");
        writeFile(home(kPrefs + std::string("Tallowmere Prefs/recent")), "list");
        writeFile(home("Library/Application Support/Nordaxis/Tallowmere/state"), "state");
        writeFile(home("Documents/Nordaxis/results.csv"), "1,2,3");
        // ... and what it must leave.
        writeFile(home(kPrefs + std::string("com.nordaxisx.other.plist")), "other maker");
        writeFile(home(kPrefs + std::string("Com.nordaxis.case.plist")), "other case");
        writeFile(home("Library/Application Support/Other/state"), "other");
        writeFile(home("Documents/letter.txt"), "mine");
    }

    std::string home(const std::string& relative) const { return m_home + "/" + relative; }

    // The user's clicks from the welcome page to the end of the run.
    int uninstall(bool keepExternalDataHome)
    {
        ensureApplication();
        UninstallWizard wizard(authorizeHelperTool, checkIfTallowmereIsRunning);
        wizard.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&wizard));
        click(wizard, QWizard::NextButton);
        if (keepExternalDataHome)
            toggle(externalDataHomeBox(wizard));
        click(wizard, QWizard::NextButton);
        click(wizard, QWizard::NextButton);
        EXPECT_EQ(wizard.currentId(), 4);
        (void)QTest::qWaitFor([&] { return wizard.currentId() != 4; }, 60000);
        const int page = wizard.currentId();
        if (page == 5 || page == 6) {
            EXPECT_TRUE(wizard.button(QWizard::FinishButton)->isEnabled());
            EXPECT_FALSE(wizard.button(QWizard::BackButton)->isEnabled());
            click(wizard, QWizard::FinishButton);
            EXPECT_FALSE(wizard.isVisible());
        }
        return page;
    }

    void expectOthersKept()
    {
        EXPECT_TRUE(entryExists(home(kPrefs + std::string("com.nordaxisx.other.plist"))));
        EXPECT_TRUE(entryExists(home(kPrefs + std::string("Com.nordaxis.case.plist"))));
        EXPECT_TRUE(entryExists(home("Library/Application Support/Other/state")));
        EXPECT_EQ(testsupport::readFile(home("Documents/letter.txt")), "mine");
    }

    void expectUserSettingsGone()
    {
        EXPECT_FALSE(entryExists(home(kPrefs + std::string("com.nordaxis.Tallowmere.plist"))));
        EXPECT_FALSE(entryExists(home(kPrefs + std::string("Tallowmere Prefs.plist"))));
        EXPECT_FALSE(entryExists(home(kPrefs + std::string("Tallowmere Prefs"))));
        EXPECT_FALSE(entryExists(home("Library/Application Support/Nordaxis")));
    }

    testsupport::FakeProduct m_noProduct; // held, never started: no copy runs meanwhile
    TempDir m_folder;
    std::string m_home;
};

TEST_F(EndToEnd, TheDefaultChoicesRemoveTheSettingsAndTheExternalDataHome)
{
    EXPECT_EQ(uninstall(false), 6);
    expectUserSettingsGone();
    EXPECT_FALSE(entryExists(home("Documents/Nordaxis")));
    expectOthersKept();
}

TEST_F(EndToEnd, AnUncheckedExternalDataHomeIsKept)
{
    EXPECT_EQ(uninstall(true), 6);
    expectUserSettingsGone();
    EXPECT_EQ(testsupport::readFile(home("Documents/Nordaxis/results.csv")), "1,2,3");
    expectOthersKept();
}

// Makes one item impossible to remove, even for root, for as long as it lives.
class Unremovable {
public:
    explicit Unremovable(const std::string& folder)
        : m_folder(folder)
    {
        const std::string file = folder + "/locked";
        writeFile(file, "locked");
        // An immutable file, where the file system has the attribute...
        for (const char* chattr : { "/usr/bin/chattr", "/bin/chattr" }) {
            if (access(chattr, X_OK) == 0 && runProgram(chattr, { "+i", QString::fromStdString(file) }).exitCode == 0) {
                m_chattr = chattr;
                m_immutable = file;
                return;
            }
        }
        // ... else a mounted file system inside it, which the tool does not cross.
        const std::string mountPoint = folder + "/mounted";
        testsupport::makeFolders(mountPoint);
        if (mount("tallowmere-test", mountPoint.c_str(), "tmpfs", 0, "size=1m") == 0) {
            m_mountPoint = mountPoint;
            writeFile(mountPoint + "/inside", "on another file system");
        }
    }
    ~Unremovable()
    {
        if (!m_immutable.empty())
            runProgram(QString::fromStdString(m_chattr), { "-i", QString::fromStdString(m_immutable) });
        if (!m_mountPoint.empty())
            umount2(m_mountPoint.c_str(), MNT_DETACH);
    }
    Unremovable(const Unremovable&) = delete;
    Unremovable& operator=(const Unremovable&) = delete;

    bool works() const { return !m_immutable.empty() || !m_mountPoint.empty(); }

private:
    std::string m_folder;
    std::string m_chattr;
    std::string m_immutable;
    std::string m_mountPoint;
};

TEST_F(EndToEnd, AnItemTheToolCannotRemoveEndsOnTheFailurePage)
{
    Unremovable unremovable(home("Documents/Nordaxis"));
    if (!unremovable.works())
        GTEST_SKIP() << "cannot make an item that root may not remove here "
                        "(no immutable attribute on this file system, no tmpfs mount)";
    EXPECT_EQ(uninstall(false), 5);
    EXPECT_TRUE(entryExists(home("Documents/Nordaxis")));
    // The tool goes on after a failure: the rest is gone all the same.
    expectUserSettingsGone();
    expectOthersKept();
}

} // namespace

int main(int argc, char** argv)
{
    // First of all: no run of this program may ever hand the tool a real home.
    TempDir homes;
    setenv("HOME", homes.path().c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
