// The window and the buttons that each page offers, as the user sees them.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

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

TEST_F(WizardWindow, TabMovesThroughTheButtonsInTheOrderTheyStand)
{
    QApplication::setActiveWindow(m_wizard.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_wizard.get()));
    // The widgets that Tab reaches, from the one with the focus onwards.
    const auto tabChain = [&](int length) {
        std::vector<QWidget*> chain;
        for (int i = 0; i < length; ++i) {
            chain.push_back(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return chain;
    };
    QWidget* cancel = button(QWizard::CancelButton);
    QWidget* back = button(QWizard::BackButton);
    QWidget* next = button(QWizard::NextButton);

    cancel->setFocus();
    EXPECT_EQ(tabChain(3), (std::vector<QWidget*> { cancel, next, cancel })) << "welcome page";

    ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
    QWidget* firstBox = userSettingsBox(*m_wizard);
    QWidget* secondBox = externalDataHomeBox(*m_wizard);
    firstBox->setFocus();
    EXPECT_EQ(tabChain(6), (std::vector<QWidget*> { firstBox, secondBox, cancel, back, next, firstBox }))
        << "choices page";
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

// Larger desktop fonts: every text stands whole inside the window, which
// keeps its designed size wherever the texts fit in it.
struct FontCase {
    const char* name;
    double scale;
};

class WizardAtFontSize : public ::testing::TestWithParam<FontCase> {
protected:
    void SetUp() override
    {
        ensureApplication();
        QFont font = desktopFont();
        font.setPointSizeF(font.pointSizeF() * GetParam().scale);
        QApplication::setFont(font);
    }
    void TearDown() override { QApplication::setFont(desktopFont()); }

    // Each label, check box and button of the page shown is at least as large
    // as its text needs and lies inside the page, which the window shows
    // whole or lets scroll; the window stays inside the screen.
    void expectTextsWhole(QWizard& wizard)
    {
        SCOPED_TRACE("page " + std::to_string(wizard.currentId()));
        if (GetParam().scale == 1.0) {
            EXPECT_TRUE(wizard.rect().contains(
                QRect(wizard.currentPage()->mapTo(&wizard, QPoint(0, 0)), wizard.currentPage()->size())))
                << "at the usual font nothing scrolls";
        }
        EXPECT_TRUE(QRect(QPoint(), QApplication::primaryScreen()->availableGeometry().size())
                        .contains(QRect(QPoint(), wizard.size())));
        QWidget* page = wizard.currentPage();
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            const QRect at(widget->mapTo(page, QPoint(0, 0)), widget->size());
            const auto* label = qobject_cast<QLabel*>(widget);
            const std::string what = label ? label->text().left(30).toStdString()
                                           : qobject_cast<QAbstractButton*>(widget)->text().left(30).toStdString();
            EXPECT_TRUE(page->rect().contains(at)) << what;
            if (label && label->wordWrap()) {
                EXPECT_GE(at.height(), label->heightForWidth(at.width())) << what;
            } else {
                EXPECT_GE(at.width(), widget->sizeHint().width()) << what;
                EXPECT_GE(at.height(), widget->sizeHint().height()) << what;
            }
        }
        for (QWizard::WizardButton which : { QWizard::BackButton, QWizard::NextButton, QWizard::FinishButton }) {
            QAbstractButton* button = wizard.button(which);
            if (!button->isVisible())
                continue;
            EXPECT_GE(button->width(), button->minimumSizeHint().width()) << button->text().toStdString();
            EXPECT_TRUE(wizard.rect().contains(QRect(button->mapTo(&wizard, QPoint(0, 0)), button->size())));
        }
    }
};

TEST_P(WizardAtFontSize, ShowsEveryTextWholeOnEveryPage)
{
    // Two runs: one past the running product to success, one to failure.
    for (int result : { 2, 1 }) {
        SCOPED_TRACE("removal result " + std::to_string(result));
        FakeJob job;
        job.result = result;
        bool running = result == 2;
        UninstallWizard wizard(job.job(), [&] { return running; });
        QWizard& shown = wizard;
        job.onCall = [&](int) { expectTextsWhole(shown); };
        wizard.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&wizard));
        if (GetParam().scale == 1.0) {
            EXPECT_EQ(wizard.size(), QSize(700, 400));
        }
        EXPECT_EQ(wizard.minimumSize(), wizard.maximumSize()) << "the size stays fixed";
        const QSize opened = wizard.size();

        for (int page : { 0, 1, 2 }) {
            ASSERT_EQ(wizard.currentId(), page);
            expectTextsWhole(wizard);
            ASSERT_TRUE(click(wizard, QWizard::NextButton));
        }
        if (running) {
            ASSERT_EQ(wizard.currentId(), 3);
            expectTextsWhole(wizard);
            running = false;
            ASSERT_TRUE(click(wizard, QWizard::NextButton));
        }
        ASSERT_TRUE(waitForPage(wizard, result == 2 ? 6 : 5));
        expectTextsWhole(wizard);
        EXPECT_EQ(wizard.size(), opened) << "one size for every page";
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, WizardAtFontSize,
    ::testing::Values(FontCase { "Default", 1.0 }, FontCase { "OneAndAHalf", 1.5 }, FontCase { "Double", 2.0 }),
    [](const ::testing::TestParamInfo<FontCase>& info) { return info.param.name; });

} // namespace
