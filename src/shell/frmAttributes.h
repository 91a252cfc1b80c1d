// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <deque>

class QCheckBox;
class QLabel;
class QPushButton;

// "Change Attributes": the three attributes to give to every file inside the selected
// archives. Shown modally and destroyed when closed, so its boxes start clear every time.
class frmAttributes : public QDialog
{
    Q_OBJECT
public:
    explicit frmAttributes(QWidget* parent = nullptr);

    // Shows the dialog and returns chosenAttributes: -1 when cancelled (closing the window
    // counts as Cancel), else the sum of the chosen bits (read-only 1, hidden 2, archive 32).
    static int ask(QWidget* parent);

    // Answers for tests, consumed in order by ask() in place of showing the dialog.
    static std::deque<int>& scriptedChoices();

    int chosenAttributes() const { return m_chosen; }

private:
    void cmdApply_Click();
    void cmdCancel_Click();
    void chkArchive_Click();

    QLabel* Label1 = nullptr;
    QCheckBox* chkReadOnly = nullptr;
    QCheckBox* chkArchive = nullptr;
    QCheckBox* chkHidden = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdCancel = nullptr;
    int m_chosen = -1;
};
