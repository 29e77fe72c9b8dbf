// Keys, clicks and close requests that the user gives the window while the
// run holds the GUI thread must act on nothing: not during the run, whose
// waits keep the window painted, and not on the page shown after it. The
// stand-in job queues them while it "runs", as the platform does, and then
// waits as the real job does.
#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include "CloseRequestRule.h"
#include "FakeJob.h"
#include "JobPause.h"
#include "ShownWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;

namespace {

enum class Input { Keys, Clicks, CloseRequest };

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

void queueCloseRequest(QWindow* window)
{
    QCoreApplication::postEvent(window, new QCloseEvent);
}

// Counts what reaches the wizard's widgets while it is installed.
class DeliveredEvents : public QObject {
public:
    int input = 0;
    int paints = 0;
    int closes = 0;

    DeliveredEvents() { QCoreApplication::instance()->installEventFilter(this); }
    ~DeliveredEvents() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* to, QEvent* event) override
    {
        if (!to->isWidgetType())
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            ++input;
            break;
        case QEvent::Paint:
            ++paints;
            break;
        case QEvent::Close:
            ++closes;
            break;
        default:
            break;
        }
        return false;
    }
};

class WizardFrozenInput : public ShownWizard, public ::testing::WithParamInterface<FrozenInputCase> { };

TEST_P(WizardFrozenInput, TheLastPageStaysUntilDoneIsPressedAfterTheRun)
{
    QWizard& wizard = *m_wizard;
    m_job.result = GetParam().jobResult;
    bool otherEventDelivered = false;
    bool timerFiredDuringRun = false;
    m_job.onCall = [&](int) {
        switch (GetParam().input) {
        case Input::Keys:
            queueKey(wizard.windowHandle(), Qt::Key_Return);
            queueKey(wizard.windowHandle(), Qt::Key_Escape);
            break;
        case Input::Clicks:
            queueClickOnDone(wizard);
            break;
        case Input::CloseRequest:
            queueCloseRequest(wizard.windowHandle());
            break;
        }
        QMetaObject::invokeMethod(
            &wizard, [&] { otherEventDelivered = true; }, Qt::QueuedConnection);

        // The job's wait: the window is repainted and timers run, but
        // nothing the user gave it acts.
        DeliveredEvents delivered;
        QTimer::singleShot(0, [&] { timerFiredDuringRun = true; });
        wizard.update();
        EXPECT_TRUE(pauseInsteadOfSleeping(0.05)) << "the run sets a pause for the job's waits";
        EXPECT_GT(delivered.paints, 0);
        EXPECT_TRUE(timerFiredDuringRun);
        EXPECT_EQ(delivered.input, 0);
        EXPECT_EQ(delivered.closes, 0);
        EXPECT_TRUE(wizard.isVisible());
        EXPECT_EQ(wizard.currentId(), 4);
    };

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(click(wizard, QWizard::NextButton));
    ASSERT_TRUE(waitForPage(wizard, GetParam().lastPage));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_TRUE(otherEventDelivered);
    EXPECT_FALSE(pauseInsteadOfSleeping(0)) << "the pause ends with the run";
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(wizard.currentId(), GetParam().lastPage);
    ASSERT_TRUE(click(wizard, QWizard::FinishButton));
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
}

// Where the window system does not say when a close request was given (here
// Qt's offscreen platform), one that arrives right after the result page
// appeared is taken for a late one and dropped; one that comes later closes.
using WizardUntimedCloseRequest = ShownWizard;

TEST_F(WizardUntimedCloseRequest, ArrivingRightAfterTheRunIsDroppedALaterOneCloses)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
    ASSERT_TRUE(waitForPage(*m_wizard, 6));
    queueCloseRequest(m_wizard->windowHandle());
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_wizard->isVisible());

    QTest::qWait(static_cast<int>(CloseRequestRule::kUntimedRefusal.count()) + 100);
    queueCloseRequest(m_wizard->windowHandle());
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_wizard->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Runs, WizardFrozenInput,
    ::testing::Values(FrozenInputCase { "SuccessKeys", 2, 6, Input::Keys },
        FrozenInputCase { "SuccessClicks", 2, 6, Input::Clicks },
        FrozenInputCase { "SuccessCloseRequest", 2, 6, Input::CloseRequest },
        FrozenInputCase { "FailureKeys", 1, 5, Input::Keys }, FrozenInputCase { "FailureClicks", 1, 5, Input::Clicks },
        FrozenInputCase { "FailureCloseRequest", 1, 5, Input::CloseRequest }),
    [](const ::testing::TestParamInfo<FrozenInputCase>& info) { return info.param.name; });

} // namespace
