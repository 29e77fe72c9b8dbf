#pragma once

#include "TallowmereRunning.h"
#include "TestSupport.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// How the made-up product bundle is laid out.
struct FakeProductLayout {
    std::string bundleName = "Tallowmere.app";
    std::string bundleIdentifier = kTallowmereBundleIdentifier;
    // Where the copied program goes, relative to the bundle folder.
    std::string executableInBundle = "Contents/MacOS/Tallowmere";
};

// A temporary copy of the product: a bundle folder with Contents/Info.plist
// naming the bundle identifier, whose executable is a copy of a small
// long-running program. Starts and quits real copies of it.
//
// Test programs run side by side, and the running check sees every process of
// the user. So while a FakeProduct with the product's own identifier exists,
// it holds a lock that keeps every other test process from making one:
// tests that need the product NOT to run create one and start no copy.
// (A forked child shares its parent's hold; a program the holder starts and
// waits for must not make one, or both wait for ever.)
//
// Copies are killed and reaped by quit(), quitAll() and the destructor; each
// copy is also killed if the thread that started it ends, so none outlives a
// crashed test. Start copies from the test's main thread.
class FakeProduct {
public:
    FakeProduct();
    explicit FakeProduct(const FakeProductLayout& layout);
    ~FakeProduct();
    FakeProduct(const FakeProduct&) = delete;
    FakeProduct& operator=(const FakeProduct&) = delete;

    const std::string& bundlePath() const { return m_bundlePath; }
    const std::string& executablePath() const { return m_executablePath; }

    // Starts one more copy and returns once its executable is in place, so
    // that the next check sees it. Throws std::runtime_error on failure.
    pid_t start();
    void start(int copies);
    // A copy run by another user (needs root).
    pid_t startAs(uid_t uid, gid_t gid);

    // Kills a copy and reaps it: on return it is no process at all any more.
    void quit(pid_t pid);
    void quitAll();

    const std::vector<pid_t>& runningCopies() const { return m_pids; }

private:
    pid_t startCopy(bool asOtherUser, uid_t uid, gid_t gid);

    bool m_holdsProductLock = false;
    TempDir m_folder;
    std::string m_bundlePath;
    std::string m_executablePath;
    std::vector<pid_t> m_pids;
};

} // namespace testsupport
