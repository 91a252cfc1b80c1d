// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmAttributes.h"

#include "maintenance/ChangeAttributes.h"
#include "shell/Dialogs.h"
#include "shell/Widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace kelmar;

frmAttributes::frmAttributes(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAttributes"));
    setWindowTitle(QStringLiteral("Change Attributes"));
    Label1 = new QLabel(
        QStringLiteral("Give the following attributes to all the files inside the selected ZIPs:"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    auto box = [this](const char* name, const QString& caption) {
        auto* check = new QCheckBox(caption, this);
        check->setObjectName(QLatin1String(name));
        check->setAccessibleName(widgets::accessibleCaption(caption));
        return check;
    };
    chkReadOnly = box("chkReadOnly", QStringLiteral("Read-Only"));
    chkArchive = box("chkArchive", QStringLiteral("Archive"));
    chkHidden = box("chkHidden", QStringLiteral("Hidden"));
    cmdApply = new QPushButton(QStringLiteral("Apply"), this);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* boxes = new QVBoxLayout;
    boxes->addWidget(chkReadOnly);
    boxes->addWidget(chkArchive);
    boxes->addWidget(chkHidden);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdCancel);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addLayout(boxes, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(row);

    connect(cmdApply, &QPushButton::clicked, this, &frmAttributes::cmdApply_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAttributes::cmdCancel_Click);
    // Escape and the window frame end up in reject(): both count as Cancel.
    connect(this, &QDialog::rejected, this, [this] { m_chosen = -1; });
    connect(chkArchive, &QCheckBox::clicked, this, &frmAttributes::chkArchive_Click);
}

std::deque<int>& frmAttributes::scriptedChoices()
{
    static std::deque<int> choices;
    return choices;
}

int frmAttributes::ask(QWidget* parent)
{
    if (!scriptedChoices().empty()) {
        const int choice = scriptedChoices().front();
        scriptedChoices().pop_front();
        return choice;
    }
    // Asked on the window's thread, before the batch starts.
    frmAttributes dialog(parent);
    dialog.exec();
    return dialog.chosenAttributes();
}

void frmAttributes::cmdApply_Click()
{
    int chosen = 0;
    if (chkReadOnly->checkState() != Qt::Unchecked)
        chosen += AttrReadOnly;
    if (chkArchive->checkState() != Qt::Unchecked)
        chosen += AttrArchive;
    if (chkHidden->checkState() != Qt::Unchecked)
        chosen += AttrHidden;
    m_chosen = chosen;
    accept();
}

void frmAttributes::cmdCancel_Click()
{
    m_chosen = -1;
    reject();
}

void frmAttributes::chkArchive_Click()
{
    Dialogs::messageBox(
        this,
        QStringLiteral("It really doesn't matter what you set 'Archive' as. :-)") + u'\r' +
            QStringLiteral("Every time you zip a file, it automatically is "
                           "marked as 'Archive'"),
        QStringLiteral("Thought I'd Let You Know..."), MsgIcon::Information, MsgButtons::Ok);
}
