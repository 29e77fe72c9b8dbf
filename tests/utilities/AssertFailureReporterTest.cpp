#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <locale>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "AssertFailureReporter.h"

using NDUtilities::AssertFailureReporter;

namespace {

// Records what it receives, returns, and notes its own destruction.
struct RecordingReporter : AssertFailureReporter {
    explicit RecordingReporter(bool* destroyed = nullptr)
        : destroyed(destroyed)
    {
    }
    ~RecordingReporter() override { *(destroyed ? destroyed : &ignored) = true; }
    void assertFailure(const char* message, const char* file, int line) override { seen = { message, file, line }; }
    bool* destroyed;
    bool ignored = false;
    std::tuple<const char*, const char*, int> seen;
};

struct PlainDerivedReporter : AssertFailureReporter { };

class AssertFailureReporterTest : public ::testing::Test {
protected:
    void TearDown() override { AssertFailureReporter::instance().setReporter(nullptr); }

    // What a failure writes to stderr, and in `thrown` the exception's text.
    static std::string report(const char* message, const char* file, int line, std::string& thrown)
    {
        thrown = "(nothing thrown)";
        ::testing::internal::CaptureStderr();
        try {
            NDUtilities::assertFailure(message, file, line);
        } catch (const std::runtime_error& error) {
            thrown = error.what();
        }
        return ::testing::internal::GetCapturedStderr();
    }
};

} // namespace

TEST_F(AssertFailureReporterTest, DefaultWritesOneLineThenThrowsTheSameText)
{
    std::string thrown;
    EXPECT_EQ(report("x", "f", 7, thrown), "NDASSERT failed: x - f(7)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: x - f(7)");
    EXPECT_EQ(report(nullptr, nullptr, -12, thrown), "NDASSERT failed: (null) - (null)(-12)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: (null) - (null)(-12)");

    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const std::string text = AssertFailureReporter::instance().formatMessage("m", "f", 1234567);
    std::locale::global(previous);
    EXPECT_EQ(text, "NDASSERT failed: m - f(1234567)") << "a host's global locale must not group digits";
}

TEST_F(AssertFailureReporterTest, InstalledReporterTakesOverAndIsOwned)
{
    AssertFailureReporter& instance = AssertFailureReporter::instance();
    bool firstDestroyed = false, secondDestroyed = false;
    auto* first = new RecordingReporter(&firstDestroyed);
    instance.setReporter(first);
    instance.setReporter(first);
    EXPECT_FALSE(firstDestroyed) << "the same pointer again must not delete it";
    const char* message = "Service only works with up to two directory levels";
    const char* file = "some/File.cpp";
    std::string thrown;
    EXPECT_EQ(report(message, file, 42, thrown), "");
    EXPECT_EQ(thrown, "(nothing thrown)");
    EXPECT_EQ(first->seen, std::make_tuple(message, file, 42)) << "the arguments arrive unchanged";

    instance.setReporter(new RecordingReporter(&secondDestroyed));
    EXPECT_TRUE(firstDestroyed) << "a replaced reporter is deleted at once";
    instance.setReporter(&instance); // would forward to itself for ever
    instance.setReporter(nullptr);
    EXPECT_TRUE(secondDestroyed);
    EXPECT_EQ(report("back", "f", 2, thrown), "NDASSERT failed: back - f(2)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: back - f(2)");
}

TEST_F(AssertFailureReporterTest, DerivedReporterWithoutOverrideReportsOrForwardsLikeTheBase)
{
    auto* plain = new PlainDerivedReporter;
    AssertFailureReporter::instance().setReporter(plain);
    std::string thrown;
    EXPECT_EQ(report("x", "f", 7, thrown), "NDASSERT failed: x - f(7)\n");
    EXPECT_EQ(thrown, "NDASSERT failed: x - f(7)");

    bool destroyed = false;
    plain->setReporter(new RecordingReporter(&destroyed));
    EXPECT_EQ(report("y", "g", 8, thrown), "");
    EXPECT_EQ(thrown, "(nothing thrown)");
    AssertFailureReporter::instance().setReporter(nullptr);
    EXPECT_TRUE(destroyed) << "deleting a reporter deletes the one installed on it";
}

// Exits with 0 when every thread saw the same object.
[[noreturn]] static void raceToTheFirstInstance()
{
    std::vector<AssertFailureReporter*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &AssertFailureReporter::instance(); });
    for (auto& thread : threads)
        thread.join();
    std::exit(std::count(seen.begin(), seen.end(), seen.front()) == 8 ? 0 : 1);
}

TEST(AssertFailureReporterInstance, ThreadsRacingToTheFirstCallShareOneObject)
{
    // In a fresh child process, so that the first call happens inside the race.
    EXPECT_EXIT(raceToTheFirstInstance(), ::testing::ExitedWithCode(0), "");
}
