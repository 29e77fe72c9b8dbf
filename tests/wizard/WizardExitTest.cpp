// How the wizard process ends, watched from outside: the program runs in a
// child process (wizard_driver) with the stand-in job.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeProduct.h"
#include "TestSupport.h"
#include "WizardTesting.h"

using testsupport::FakeProduct;
using testsupport::TempDir;
using wizardtesting::ProgramRun;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class WizardExit : public ::testing::Test {
protected:
    ProgramRun runWizard(int jobResult, const std::vector<std::string>& actions)
    {
        QStringList arguments { QString::number(jobResult) };
        for (const std::string& action : actions)
            arguments << QString::fromStdString(action);
        testsupport::makeFolders(m_folder / "runtime");
        chmod((m_folder / "runtime").c_str(), 0700);
        return wizardtesting::runProgram(TW_WIZARD_DRIVER, arguments,
            wizardtesting::childEnvironment(
                QString::fromStdString(m_folder / "home"), QString::fromStdString(m_folder / "runtime")));
    }

    TempDir m_folder;
};

TEST_F(WizardExit, ARefusedAuthorisationEndsTheProgramAtOnceWithStatusZeroAndNoWarning)
{
    FakeProduct noProduct; // keeps other tests' copies away while none runs
    const ProgramRun run = runWizard(0, { "next", "next", "next" });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "page 0\npage 1\npage 2\npage 4\njob mask 6\n")
        << "no further page, and the event loop never got back to main";
    EXPECT_EQ(run.err, "");
}

TEST_F(WizardExit, DoneAfterTheRunEndsTheProgramWithTheEventLoopsZero)
{
    FakeProduct noProduct;
    for (int jobResult : { 1, 2 }) {
        const std::string lastPage = jobResult == 1 ? "5" : "6";
        SCOPED_TRACE("ending on page " + lastPage);
        const ProgramRun run
            = runWizard(jobResult, { "next", "keep-data", "next", "next", "wait=" + lastPage, "done" });
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(
            run.out, "page 0\npage 1\npage 2\npage 4\njob mask 2\npage " + lastPage + "\nevent loop returned 0\n");
        EXPECT_EQ(run.err, "");
    }
}

struct ClosingCase {
    std::vector<std::string> toPage;
    int page;
};

TEST_F(WizardExit, CancelOrClosingOnPagesZeroToThreeEndsWithStatusZeroAndRunsNothing)
{
    FakeProduct product;
    const std::vector<ClosingCase> cases {
        { {}, 0 },
        { { "next", "keep-settings" }, 1 },
        { { "next", "next" }, 2 },
        { { "next", "next", "next" }, 3 },
    };
    product.start();
    for (const ClosingCase& closing : cases) {
        for (const char* how : { "cancel", "close" }) {
            SCOPED_TRACE("page " + std::to_string(closing.page) + ", " + how);
            std::vector<std::string> actions = closing.toPage;
            actions.push_back("expect=" + std::to_string(closing.page));
            actions.push_back(how);
            const ProgramRun run = runWizard(2, actions);
            EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
            EXPECT_TRUE(contains(run.out, "event loop returned 0\n")) << run.out;
            EXPECT_FALSE(contains(run.out, "job mask")) << run.out;
        }
    }
}

} // namespace
