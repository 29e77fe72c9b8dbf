#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away. Tests that delete files work only in here.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Creates the file and any missing parent folders.
void writeFile(const std::string& path, const std::string& contents = std::string());
std::string readFile(const std::string& path);
void makeFolders(const std::string& path);
void makeSymlink(const std::string& target, const std::string& linkPath);
// lstat: true for a dangling link too.
bool entryExists(const std::string& path);
bool isSymlink(const std::string& path);
// The removal tool also deletes fixed machine-wide folders. A test that runs
// the real tool with the machine's own root runs only where none of them
// exists; this names the first that does, if any.
std::optional<std::string> existingMachineWideFolder();

// Opens permissions so that another user may read and traverse everything.
void openUpPermissions(const std::string& path);

struct ProcessResult {
    int exitStatus = -1; // -1 when the process did not exit normally
    int signal = 0;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::optional<std::string> workingFolder;
    std::optional<std::vector<std::string>> environment; // replaces the whole environment
    std::optional<uid_t> uid; // switch to this user (needs root)
    std::optional<gid_t> gid;
};

// Runs a program to its end and collects its output.
ProcessResult runProgram(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// An ordinary account to drop to when the tests run as root ("nobody").
struct OrdinaryUser {
    uid_t uid;
    gid_t gid;
};
std::optional<OrdinaryUser> ordinaryUser();

// Runs `body` in a child process as an ordinary user and returns its exit
// status, or kChildKilledBase plus the signal that ended it. As root the child
// drops to `ordinaryUser()`; as any other user it keeps that user. No value,
// with `whyNot` filled in, only when that is impossible.
extern const int kChildKilledBase;
std::optional<int> runInChildAsOrdinaryUser(const std::function<int()>& body, std::string* whyNot);

// Gives a folder tree to the user, so that an ordinary user may change it.
void giveTo(const std::string& path, uid_t uid, gid_t gid);

} // namespace testsupport
