#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

// The wizard fields of the two boxes; the progress page reads them by these
// names.
constexpr char kUserSettingChoiceField[] = "UserSettingChoice";
constexpr char kExternaDataHomeChoiceField[] = "ExternaDataHomeChoice";

// Page 1: the optional items that the removal also takes, each with a box to
// keep it. The boxes are published as the wizard fields above; a checked box
// means "remove".
class ChoicesPage : public QWizardPage {
public:
    explicit ChoicesPage(QWidget* parent);

private:
    QVBoxLayout m_layout;
    QLabel m_introLabel;
    QCheckBox m_userSettingsBox;
    QCheckBox m_externalDataHomeBox;
};
