// The window and the buttons that each page offers, as the user sees them.
#include <QDir>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "FakeJob.h"
#include "ShownWizard.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;

namespace {

const char kWatermark[] = ":/TallowmereUninstallWizardResources/TallowmereUninstallWizardWatermark.png";

class WizardWindow : public ShownWizard {
protected:
    QAbstractButton* button(QWizard::WizardButton which) { return m_wizard->button(which); }
    bool shown(QWizard::WizardButton which) { return button(which)->isVisible(); }
    bool enabled(QWizard::WizardButton which) { return shown(which) && button(which)->isEnabled(); }
    int left(QWizard::WizardButton which) { return button(which)->mapTo(m_wizard.get(), QPoint(0, 0)).x(); }

    void expectContinuePage(bool backShown)
    {
        SCOPED_TRACE("page " + std::to_string(m_wizard->currentId()));
        EXPECT_EQ(shown(QWizard::BackButton), backShown);
        EXPECT_TRUE(enabled(QWizard::NextButton));
        EXPECT_FALSE(shown(QWizard::FinishButton));
        EXPECT_TRUE(enabled(QWizard::CancelButton));
        EXPECT_FALSE(shown(QWizard::HelpButton));
        EXPECT_FALSE(shown(QWizard::CommitButton));
        EXPECT_TRUE(button(QWizard::NextButton)->property("default").toBool());
        EXPECT_LT(left(QWizard::CancelButton), left(QWizard::NextButton));
        if (backShown) {
            EXPECT_LT(left(QWizard::CancelButton), left(QWizard::BackButton));
        }
        EXPECT_EQ(
            button(QWizard::NextButton)->text(), m_wizard->currentId() == 2 ? QString("Remove") : QString("Continue"));
    }
};

TEST_F(WizardWindow, HasItsFixedSizeTitleAndBackground)
{
    EXPECT_EQ(m_wizard->size(), QSize(700, 400));
    EXPECT_EQ(m_wizard->minimumSize(), QSize(700, 400));
    EXPECT_EQ(m_wizard->maximumSize(), QSize(700, 400));
    EXPECT_EQ(m_wizard->windowTitle(), QString("Tallowmere 5.4.1 Uninstall Wizard"));
    EXPECT_EQ(m_wizard->wizardStyle(), QWizard::MacStyle);
    EXPECT_TRUE(m_wizard->isWindow());
    EXPECT_TRUE(m_wizard->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(m_wizard->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    EXPECT_EQ(QDir(":/TallowmereUninstallWizardResources").entryList(),
        QStringList { "TallowmereUninstallWizardWatermark.png" });
    const QPixmap watermark(kWatermark);
    EXPECT_EQ(watermark.size(), QSize(180, 300));
    EXPECT_TRUE(watermark.hasAlphaChannel());
    EXPECT_EQ(m_wizard->pixmap(QWizard::BackgroundPixmap).size(), QSize(180, 300));
}

TEST_F(WizardWindow, PagesZeroToTwoOfferContinueAndCancelOnTheLeft)
{
    ASSERT_EQ(m_wizard->currentId(), 0);
    expectContinuePage(false);
    ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
    expectContinuePage(true);
    ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
    ASSERT_EQ(m_wizard->currentId(), 2);
    expectContinuePage(true);
    ASSERT_TRUE(click(*m_wizard, QWizard::BackButton));
    EXPECT_EQ(button(QWizard::NextButton)->text(), QString("Continue")) << "\"Remove\" is page 2's alone";
}

TEST_F(WizardWindow, NoButtonDoesAnythingOnTheProgressPageAndOnlyDoneAfterIt)
{
    // The run blocks in the stand-in job until the progress page is checked.
    bool checkedDuringRun = false;
    m_job.onCall = [&](int) {
        SCOPED_TRACE("progress page");
        EXPECT_EQ(m_wizard->currentId(), 4);
        EXPECT_FALSE(enabled(QWizard::BackButton));
        EXPECT_FALSE(shown(QWizard::NextButton));
        EXPECT_TRUE(shown(QWizard::FinishButton));
        EXPECT_FALSE(enabled(QWizard::FinishButton));
        EXPECT_FALSE(shown(QWizard::CancelButton));
        checkedDuringRun = true;
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
    ASSERT_TRUE(waitForPage(*m_wizard, 6));
    EXPECT_TRUE(checkedDuringRun);

    EXPECT_FALSE(enabled(QWizard::BackButton));
    EXPECT_FALSE(shown(QWizard::NextButton));
    EXPECT_TRUE(enabled(QWizard::FinishButton));
    EXPECT_EQ(button(QWizard::FinishButton)->text(), QString("Done"));
    EXPECT_TRUE(button(QWizard::FinishButton)->property("default").toBool());
    EXPECT_FALSE(shown(QWizard::CancelButton));
}

} // namespace
