// The product-running page, with real copies of a made-up product running
// (FakeProduct: a small program inside a temporary Tallowmere.app).
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "FakeJob.h"
#include "FakeProduct.h"
#include "ShownWizard.h"
#include "TallowmereRunning.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

using namespace wizardtesting;

namespace {

class RunningProduct : public ShownWizard {
protected:
    void SetUp() override
    {
        m_isTallowmereRunning = checkIfTallowmereIsRunning;
        ShownWizard::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
        ASSERT_TRUE(click(*m_wizard, QWizard::NextButton));
        ASSERT_EQ(m_wizard->currentId(), 2);
    }

    // Remove on page 2, or Continue on page 3.
    void pressNext() { ASSERT_TRUE(click(*m_wizard, QWizard::NextButton)); }
    int page() const { return m_wizard->currentId(); }

    testsupport::FakeProduct m_product;
};

TEST_F(RunningProduct, ContinueKeepsTheRunningPageUntilTheProductHasQuit)
{
    const pid_t copy = m_product.start();
    pressNext();
    ASSERT_EQ(page(), 3);
    QAbstractButton* cancel = m_wizard->button(QWizard::CancelButton);
    QAbstractButton* back = m_wizard->button(QWizard::BackButton);
    EXPECT_TRUE(cancel->isVisible() && back->isVisible() && back->isEnabled());
    EXPECT_LT(cancel->mapTo(m_wizard.get(), QPoint()).x(), back->mapTo(m_wizard.get(), QPoint()).x());
    EXPECT_EQ(m_wizard->button(QWizard::NextButton)->text(), QString("Continue"));
    EXPECT_FALSE(m_wizard->button(QWizard::FinishButton)->isVisible());

    pressNext();
    pressNext();
    EXPECT_EQ(page(), 3);
    EXPECT_TRUE(m_job.masks.empty());

    m_product.quit(copy);
    pressNext();
    EXPECT_EQ(page(), 4);
    EXPECT_TRUE(waitForPage(*m_wizard, 6));
    EXPECT_EQ(m_job.masks, std::vector<int> { 6 });
}

TEST_F(RunningProduct, TwoCopiesCountAsOneAndBothMustQuit)
{
    m_product.start(2);
    pressNext();
    ASSERT_EQ(page(), 3);
    m_product.quit(m_product.runningCopies().front());
    pressNext();
    EXPECT_EQ(page(), 3);
    m_product.quitAll();
    pressNext();
    EXPECT_EQ(page(), 4);
}

} // namespace
