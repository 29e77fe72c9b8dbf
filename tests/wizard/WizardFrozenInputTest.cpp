// Keys and clicks that the user gives the window while the run blocks it are
// queued by the window system and would reach the page shown after the run.
// The stand-in job queues them while it "runs", as the platform does.
#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "FakeJob.h"
#include "ShownWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;

namespace {

enum class Input { Keys, Clicks };

struct FrozenInputCase {
    const char* name;
    int jobResult;
    int lastPage;
    Input input;
};

void queueKey(QWindow* window, int key)
{
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

// A click where Done stands; during the run it is shown but disabled, on the
// last pages it is enabled at the same place.
void queueClickOnDone(QWizard& wizard)
{
    QAbstractButton* done = wizard.button(QWizard::FinishButton);
    const QPointF at = done->mapTo(&wizard, done->rect().center());
    const QPointF global = wizard.mapToGlobal(at.toPoint());
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(
            wizard.windowHandle(), new QMouseEvent(type, at, at, global, Qt::LeftButton, held, Qt::NoModifier));
    }
}

class WizardFrozenInput : public ShownWizard, public ::testing::WithParamInterface<FrozenInputCase> { };

TEST_P(WizardFrozenInput, TheLastPageStaysUntilDoneIsPressedAfterTheRun)
{
    QWizard& wizard = *m_wizard;
    m_job.result = GetParam().jobResult;
    bool otherEventDelivered = false;
    m_job.onCall = [&](int) {
        if (GetParam().input == Input::Keys) {
            queueKey(wizard.windowHandle(), Qt::Key_Return);
            queueKey(wizard.windowHandle(), Qt::Key_Escape);
        } else {
            queueClickOnDone(wizard);
        }
        QMetaObject::invokeMethod(
            &wizard, [&] { otherEventDelivered = true; }, Qt::QueuedConnection);
    };

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(click(wizard, QWizard::NextButton));
    ASSERT_TRUE(waitForPage(wizard, GetParam().lastPage));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_TRUE(otherEventDelivered);
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(wizard.currentId(), GetParam().lastPage);
    ASSERT_TRUE(click(wizard, QWizard::FinishButton));
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(Runs, WizardFrozenInput,
    ::testing::Values(FrozenInputCase { "SuccessKeys", 2, 6, Input::Keys },
        FrozenInputCase { "SuccessClicks", 2, 6, Input::Clicks }, FrozenInputCase { "FailureKeys", 1, 5, Input::Keys },
        FrozenInputCase { "FailureClicks", 1, 5, Input::Clicks }),
    [](const ::testing::TestParamInfo<FrozenInputCase>& info) { return info.param.name; });

} // namespace
