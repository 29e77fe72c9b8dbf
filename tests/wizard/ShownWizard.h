#pragma once

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "FakeJob.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

// A fixture with a new wizard shown on its welcome page. Its removal job is
// the stand-in, set to report success.
class ShownWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        wizardtesting::ensureApplication();
        fakejob::reset(2);
        m_wizard = std::make_unique<UninstallWizard>();
        m_wizard->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_wizard.get()));
    }

    std::unique_ptr<UninstallWizard> m_wizard;
};
