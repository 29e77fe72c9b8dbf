#pragma once

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "FakeJob.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

// A fixture with a new wizard shown on its welcome page. Its removal job is
// the stand-in, set to report success; the product counts as not running
// unless a test sets another check before SetUp.
class ShownWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        wizardtesting::ensureApplication();
        m_wizard = std::make_unique<UninstallWizard>(m_job.job(), m_isTallowmereRunning);
        m_wizard->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_wizard.get()));
    }

    FakeJob m_job;
    RunningCheck m_isTallowmereRunning = [] { return false; };
    std::unique_ptr<UninstallWizard> m_wizard;
};
