// The running check against real processes: copies of a small program inside
// a temporary Tallowmere.app, started and quit by the test.
#include "TallowmereRunning.h"
#include "TallowmereRunning_linux.h"

#include "FakeProduct.h"
#include "TestSupport.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

using testsupport::FakeProduct;
using testsupport::FakeProductLayout;

namespace {

bool processExists(pid_t pid)
{
    return kill(pid, 0) == 0 || errno != ESRCH;
}

FakeProductLayout layoutWith(const std::string& identifier, const std::string& executable)
{
    FakeProductLayout layout;
    layout.bundleIdentifier = identifier;
    layout.executableInBundle = executable;
    return layout;
}

} // namespace

TEST(RunningCheck, NotRunningWhileOnlyInstalled)
{
    FakeProduct product; // holds the product lock: no other test's copy runs meanwhile
    EXPECT_FALSE(checkIfTallowmereIsRunning());
}

TEST(RunningCheck, OneCopyRuns)
{
    FakeProduct product;
    const pid_t pid = product.start();
    EXPECT_TRUE(checkIfTallowmereIsRunning());
    EXPECT_EQ(runningProcessesOfBundle(kTallowmereBundleIdentifier), std::vector<pid_t> { pid });
}

TEST(RunningCheck, QuitsAreSeenAtTheNextCall)
{
    FakeProduct product;
    product.start(2);
    EXPECT_TRUE(checkIfTallowmereIsRunning()); // two copies count as one
    EXPECT_EQ(runningProcessesOfBundle(kTallowmereBundleIdentifier).size(), 2u);

    product.quit(product.runningCopies().front());
    EXPECT_TRUE(checkIfTallowmereIsRunning());
    product.quitAll();
    EXPECT_FALSE(checkIfTallowmereIsRunning());
    product.start();
    EXPECT_TRUE(checkIfTallowmereIsRunning());
    product.quitAll();
    EXPECT_FALSE(checkIfTallowmereIsRunning());
}

TEST(RunningCheck, OtherBundlesAndExecutablesOutsideContentsMacOSDoNotCount)
{
    FakeProduct lock;
    FakeProduct wizardLike(layoutWith("com.nordaxis.TallowmereUninstallWizard", "Contents/MacOS/Tallowmere"));
    FakeProduct inContents(layoutWith(kTallowmereBundleIdentifier, "Contents/Tallowmere"));
    FakeProduct inSubfolder(layoutWith(kTallowmereBundleIdentifier, "Contents/MacOS/Helpers/Tallowmere"));
    FakeProduct atTop(layoutWith(kTallowmereBundleIdentifier, "Tallowmere"));
    for (FakeProduct* product : { &wizardLike, &inContents, &inSubfolder, &atTop })
        product->start();
    EXPECT_FALSE(checkIfTallowmereIsRunning());
}

TEST(RunningCheck, ACopyWhoseExecutableWasReplacedStillCounts)
{
    FakeProduct product;
    product.start();
    // As an update in place does: the running file is unlinked, a new one put there.
    std::filesystem::remove(product.executablePath());
    EXPECT_TRUE(checkIfTallowmereIsRunning());
    testsupport::writeFile(product.executablePath(), "new version");
    EXPECT_TRUE(checkIfTallowmereIsRunning());
}

TEST(RunningCheck, OnlyTheCallingUsersCopiesCount)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a copy as another user";
    const auto other = testsupport::ordinaryUser();
    if (!other)
        GTEST_SKIP() << "no ordinary account to run a copy as";

    FakeProduct product;
    product.startAs(other->uid, other->gid);
    EXPECT_FALSE(checkIfTallowmereIsRunning()) << "root must not count another user's copy";

    std::string whyNot;
    const auto seenByOther
        = testsupport::runInChildAsOrdinaryUser([] { return checkIfTallowmereIsRunning() ? 1 : 0; }, &whyNot);
    ASSERT_TRUE(seenByOther) << whyNot;
    EXPECT_EQ(*seenByOther, 1) << "the user must see the own copy";

    product.quitAll();
    product.start(); // root's copy, whose executable link the other user may not read
    const auto rootsSeenByOther
        = testsupport::runInChildAsOrdinaryUser([] { return checkIfTallowmereIsRunning() ? 1 : 0; }, &whyNot);
    ASSERT_TRUE(rootsSeenByOther) << whyNot;
    EXPECT_EQ(*rootsSeenByOther, 0);
}

TEST(FakeProductTest, QuitCopiesAreReapedNotLeftAsZombies)
{
    std::vector<pid_t> pids;
    {
        FakeProduct product;
        product.start(2);
        pids = product.runningCopies();
        product.quit(pids[0]);
        EXPECT_FALSE(processExists(pids[0]));
        EXPECT_TRUE(processExists(pids[1]));
    }
    EXPECT_FALSE(processExists(pids[1])) << "the destructor quits what still runs";
}
