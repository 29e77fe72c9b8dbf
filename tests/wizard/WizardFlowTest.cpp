// The road through the wizard with the product not running, driven with
// mouse and key events on the real widgets. The removal job is the stand-in
// of FakeJob.h, so nothing is removed.
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeJob.h"
#include "ShownWizard.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;

namespace {

class WizardFlow : public ShownWizard {
protected:
    UninstallWizard& wizard() { return *m_wizard; }

    // From the welcome page to the confirmation page.
    void goToConfirmation(bool keepUserSettings, bool keepExternalDataHome)
    {
        ASSERT_EQ(wizard().currentId(), 0);
        ASSERT_TRUE(click(wizard(), QWizard::NextButton));
        ASSERT_EQ(wizard().currentId(), 1);
        if (keepUserSettings)
            toggle(userSettingsBox(wizard()));
        if (keepExternalDataHome)
            toggle(externalDataHomeBox(wizard()));
        ASSERT_TRUE(click(wizard(), QWizard::NextButton));
        ASSERT_EQ(wizard().currentId(), 2);
    }

    // Remove on the confirmation page, then the run to its last page.
    int removeAndWait()
    {
        if (!click(wizard(), QWizard::NextButton))
            return -2;
        EXPECT_EQ(wizard().currentId(), 4);
        (void)QTest::qWaitFor([&] { return wizard().currentId() != 4; }, 10000);
        return wizard().currentId();
    }
};

TEST_F(WizardFlow, RemoveGoesStraightToTheRunWhenTheProductDoesNotRun)
{
    goToConfirmation(false, false);
    ASSERT_TRUE(click(wizard(), QWizard::NextButton));
    EXPECT_EQ(wizard().currentId(), 4);
    // The run starts from the event loop, after the page has been shown.
    EXPECT_TRUE(m_job.masks.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_job.masks.empty(); }, 5000));
    EXPECT_EQ(wizard().currentId(), 6);
    EXPECT_EQ(wizard().visitedIds(), (QList<int> { 0, 1, 2, 4, 6 }));
}

struct MaskCase {
    bool keepUserSettings;
    bool keepExternalDataHome;
    int expectedMask;
};

class ChoiceMask : public WizardFlow, public ::testing::WithParamInterface<MaskCase> { };

TEST_P(ChoiceMask, TheRunGetsTheMaskOfTheCheckedBoxes)
{
    goToConfirmation(GetParam().keepUserSettings, GetParam().keepExternalDataHome);
    EXPECT_EQ(removeAndWait(), 6);
    EXPECT_EQ(m_job.masks, std::vector<int> { GetParam().expectedMask });
}

INSTANTIATE_TEST_SUITE_P(Choices, ChoiceMask,
    ::testing::Values(MaskCase { false, false, 6 }, MaskCase { true, true, 0 }, MaskCase { true, false, 4 }),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return "Mask" + std::to_string(info.param.expectedMask); });

TEST_F(WizardFlow, GoBackToTheWelcomePageResetsTheChoicesButNotFromTheConfirmation)
{
    goToConfirmation(false, true);
    ASSERT_TRUE(click(wizard(), QWizard::BackButton));
    ASSERT_EQ(wizard().currentId(), 1);
    EXPECT_TRUE(userSettingsBox(wizard())->isChecked());
    EXPECT_FALSE(externalDataHomeBox(wizard())->isChecked()) << "Go Back from page 2 keeps the choice";

    toggle(userSettingsBox(wizard()));
    ASSERT_TRUE(click(wizard(), QWizard::BackButton));
    ASSERT_EQ(wizard().currentId(), 0);
    ASSERT_TRUE(click(wizard(), QWizard::NextButton));
    EXPECT_TRUE(userSettingsBox(wizard())->isChecked());
    EXPECT_TRUE(externalDataHomeBox(wizard())->isChecked());

    ASSERT_TRUE(click(wizard(), QWizard::NextButton));
    EXPECT_EQ(removeAndWait(), 6);
    EXPECT_EQ(m_job.masks, std::vector<int> { 6 });
}

TEST_F(WizardFlow, AFailedRunEndsOnTheFailurePageWhereOnlyDoneWorks)
{
    m_job.result = 1;
    goToConfirmation(false, false);
    EXPECT_EQ(removeAndWait(), 5);
    EXPECT_FALSE(wizard().button(QWizard::BackButton)->isEnabled());
    EXPECT_FALSE(wizard().button(QWizard::CancelButton)->isVisible());
    EXPECT_FALSE(wizard().button(QWizard::NextButton)->isVisible());
    ASSERT_TRUE(click(wizard(), QWizard::FinishButton));
    EXPECT_FALSE(wizard().isVisible());
    EXPECT_EQ(wizard().result(), QDialog::Accepted);
    EXPECT_EQ(m_job.masks.size(), 1u);
}

} // namespace
