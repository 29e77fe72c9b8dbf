#include <gtest/gtest.h>

#include <cstdlib>
#include <locale>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AssertFailureReporter.h"

using NDUtilities::AssertFailureReporter;

namespace {

// Records what it receives and returns; notes its own destruction.
struct RecordingReporter : AssertFailureReporter {
    explicit RecordingReporter(bool* destroyed = nullptr) : destroyed(destroyed) {}
    ~RecordingReporter() override
    {
        if (destroyed)
            *destroyed = true;
    }
    void assertFailure(const char* message, const char* file, int line) override
    {
        ++calls;
        lastMessage = message;
        lastFile = file;
        lastLine = line;
    }
    bool* destroyed;
    int calls = 0;
    const char* lastMessage = nullptr;
    const char* lastFile = nullptr;
    int lastLine = 0;
};

// Derives without overriding anything.
struct PlainDerivedReporter : AssertFailureReporter {};

class AssertFailureReporterTest : public ::testing::Test {
protected:
    void TearDown() override { AssertFailureReporter::instance().setReporter(nullptr); }

    // Runs a failure through the free function; returns what reached stderr
    // and the exception text, if one was thrown.
    static std::string report(const char* message, const char* file, int line, std::string* thrown)
    {
        ::testing::internal::CaptureStderr();
        try {
            NDUtilities::assertFailure(message, file, line);
        } catch (const std::runtime_error& error) {
            *thrown = error.what();
        }
        return ::testing::internal::GetCapturedStderr();
    }
};

}  // namespace

TEST_F(AssertFailureReporterTest, DefaultWritesOneLineThenThrowsTheSameText)
{
    std::string thrown;
    EXPECT_EQ(report("x", "f", 7, &thrown), "NDASSERT failed: x - f(7)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: x - f(7)");

    EXPECT_EQ(report(nullptr, nullptr, -12, &thrown), "NDASSERT failed: (null) - (null)(-12)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: (null) - (null)(-12)");
}

TEST_F(AssertFailureReporterTest, LineIsPlainDecimalUnderAGroupingGlobalLocale)
{
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const std::string text = AssertFailureReporter::instance().formatMessage("m", "f", 1234567);
    std::locale::global(previous);
    EXPECT_EQ(text, "NDASSERT failed: m - f(1234567)");
}

TEST_F(AssertFailureReporterTest, InstalledReporterGetsTheArgumentsUnchangedAndMayReturn)
{
    auto* recorder = new RecordingReporter;
    AssertFailureReporter::instance().setReporter(recorder);
    const char* message = "Service only works with up to two directory levels";
    const char* file = "some/File.cpp";

    std::string thrown;
    EXPECT_EQ(report(message, file, 42, &thrown), "");
    EXPECT_EQ(thrown, "");
    EXPECT_EQ(recorder->calls, 1);
    EXPECT_EQ(recorder->lastMessage, message);
    EXPECT_EQ(recorder->lastFile, file);
    EXPECT_EQ(recorder->lastLine, 42);
}

TEST_F(AssertFailureReporterTest, OwnershipOfTheInstalledReporter)
{
    AssertFailureReporter& instance = AssertFailureReporter::instance();
    bool firstDestroyed = false;
    bool secondDestroyed = false;
    auto* first = new RecordingReporter(&firstDestroyed);
    auto* second = new RecordingReporter(&secondDestroyed);

    instance.setReporter(first);
    instance.setReporter(first);
    EXPECT_FALSE(firstDestroyed) << "the same pointer again must not delete it";
    NDUtilities::assertFailure("m", "f", 1);
    EXPECT_EQ(first->calls, 1);

    instance.setReporter(second);
    EXPECT_TRUE(firstDestroyed) << "a replaced reporter is deleted at once";
    EXPECT_FALSE(secondDestroyed);

    instance.setReporter(nullptr);
    EXPECT_TRUE(secondDestroyed);
    std::string thrown;
    EXPECT_EQ(report("back", "f", 2, &thrown), "NDASSERT failed: back - f(2)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: back - f(2)");
}

TEST_F(AssertFailureReporterTest, InstallingTheInstanceOnItselfChangesNothing)
{
    AssertFailureReporter& instance = AssertFailureReporter::instance();
    instance.setReporter(&instance);
    std::string thrown;
    EXPECT_EQ(report("m", "f", 3, &thrown), "NDASSERT failed: m - f(3)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: m - f(3)");
}

TEST_F(AssertFailureReporterTest, DerivedReporterWithoutOverrideReportsOrForwardsLikeTheBase)
{
    auto* plain = new PlainDerivedReporter;
    AssertFailureReporter::instance().setReporter(plain);
    std::string thrown;
    EXPECT_EQ(report("x", "f", 7, &thrown), "NDASSERT failed: x - f(7)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: x - f(7)");

    bool destroyed = false;
    auto* recorder = new RecordingReporter(&destroyed);
    plain->setReporter(recorder);
    thrown.clear();
    EXPECT_EQ(report("y", "g", 8, &thrown), "");
    EXPECT_EQ(thrown, "");
    EXPECT_EQ(recorder->calls, 1);

    AssertFailureReporter::instance().setReporter(nullptr);
    EXPECT_TRUE(destroyed) << "deleting a reporter deletes the one installed on it";
}

// Exits with 0 when every thread saw the same object.
[[noreturn]] static void raceToTheFirstInstance()
{
    std::vector<std::thread> threads;
    std::vector<AssertFailureReporter*> seen(8, nullptr);
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &AssertFailureReporter::instance(); });
    for (auto& thread : threads)
        thread.join();
    for (auto* instance : seen) {
        if (instance != seen.front())
            std::exit(1);
    }
    std::exit(0);
}

TEST(AssertFailureReporterInstance, ThreadsRacingToTheFirstCallShareOneObject)
{
    // In a fresh child process, so that the first call happens inside the race.
    EXPECT_EXIT(raceToTheFirstInstance(), ::testing::ExitedWithCode(0), "");
}
