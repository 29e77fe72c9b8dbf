#include "AssertFailureReporter.h"

#include <iostream>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace NDUtilities {

AssertFailureReporter::AssertFailureReporter() = default;

AssertFailureReporter::~AssertFailureReporter() = default;

AssertFailureReporter& AssertFailureReporter::instance()
{
    static AssertFailureReporter m_instance;
    return m_instance;
}

void AssertFailureReporter::setReporter(AssertFailureReporter* reporter)
{
    // Installing an object on itself would forward each failure to itself for
    // ever and delete it twice; it changes nothing instead.
    if (reporter == m_reporter.get() || reporter == this)
        return;
    // reset installs the new reporter before it deletes the old one, so the
    // old one is no longer reachable while its destructor runs.
    m_reporter.reset(reporter);
}

void AssertFailureReporter::assertFailure(const char* message, const char* file, int line)
{
    if (m_reporter) {
        m_reporter->assertFailure(message, file, line);
        return;
    }
    const std::string text = formatMessage(message, file, line);
    std::cerr << text << '\n' << std::flush;
    throw std::runtime_error(text);
}

std::string AssertFailureReporter::formatMessage(const char* message, const char* file, int line) const
{
    std::ostringstream text;
    // Plain decimal whatever global locale the host has set.
    text.imbue(std::locale::classic());
    text << "NDASSERT failed: " << (message ? message : "(null)") << " - " << (file ? file : "(null)") << "(" << line
         << ")";
    return text.str();
}

void assertFailure(const char* message, const char* file, int line)
{
    AssertFailureReporter::instance().assertFailure(message, file, line);
}

} // namespace NDUtilities
