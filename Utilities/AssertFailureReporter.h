#pragma once

#include <memory>
#include <string>

namespace NDUtilities {

// Reports failed run-time checks of the library. The process-wide reporter,
// instance(), writes one line "NDASSERT failed: <message> - <file>(<line>)" to
// std::cerr and throws a std::runtime_error with the same text, unless a host
// has installed its own reporter on it; then every failure goes there instead,
// and that reporter may throw or return.
class AssertFailureReporter {
public:
    AssertFailureReporter();
    virtual ~AssertFailureReporter();
    AssertFailureReporter(const AssertFailureReporter&) = delete;
    AssertFailureReporter& operator=(const AssertFailureReporter&) = delete;

    // Created on first use, safely from any number of threads; destroyed at
    // normal process exit together with its installed reporter.
    static AssertFailureReporter& instance();

    // Takes ownership of the reporter. The same pointer again, or this object
    // itself, changes nothing; a different one deletes the old reporter; null
    // restores the default.
    // Install before other threads can reach a check: nothing here is locked.
    void setReporter(AssertFailureReporter* reporter);

    virtual void assertFailure(const char* message, const char* file, int line);

    // The standard report text; "(null)" stands for a missing message or file.
    std::string formatMessage(const char* message, const char* file, int line) const;

private:
    std::unique_ptr<AssertFailureReporter> m_reporter;
};

// Hands one failed check to the process-wide reporter. Returns only if the
// reporter in force returns.
void assertFailure(const char* message, const char* file, int line);

} // namespace NDUtilities
