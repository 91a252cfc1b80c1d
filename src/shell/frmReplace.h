// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// "Find and Replace": asks for a text to find in the selected files' names and the text to
// put in its place. Out of the box it turns spaces into underscores.
class frmReplace : public QDialog
{
    Q_OBJECT
public:
    struct Texts
    {
        QString find;
        QString replace;
    };

    explicit frmReplace(QWidget* parent = nullptr);

    // Shows the dialog modally over owner; the texts when Replace was pressed. May be called
    // from any thread: the dialog itself is shown on owner's.
    static std::optional<Texts> ask(QWidget* owner);

    // Replace is enabled exactly when there is something to find and the replacement holds
    // no character a file name cannot.
    void validate_text();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* Label1 = nullptr;
    QLineEdit* txtFind = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtReplace = nullptr;
    QPushButton* cmdReplace = nullptr;
    QPushButton* cmdCancel = nullptr;
};
