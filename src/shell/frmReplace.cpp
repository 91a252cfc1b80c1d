// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmReplace.h"

#include "names/basMain.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

frmReplace::frmReplace(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReplace"));
    setWindowTitle(QStringLiteral("Find and Replace"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Find What:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtFind = new QLineEdit(QStringLiteral(" "), this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setMaxLength(255);
    Label1->setBuddy(txtFind);
    Label2 = new QLabel(QStringLiteral("Replace With:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    txtReplace = new QLineEdit(QStringLiteral("_"), this);
    txtReplace->setObjectName(QStringLiteral("txtReplace"));
    txtReplace->setMaxLength(255);
    Label2->setBuddy(txtReplace);
    cmdReplace = new QPushButton(QStringLiteral("Replace"), this);
    cmdReplace->setObjectName(QStringLiteral("cmdReplace"));
    cmdReplace->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtFind, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtReplace, 1, 1);
    grid->setColumnMinimumWidth(1, 220);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdReplace);
    buttons->addWidget(cmdCancel);
    auto* layout = new QGridLayout(this);
    layout->addLayout(grid, 0, 0);
    layout->addLayout(buttons, 1, 0);
    setTabOrder(txtFind, txtReplace);
    setTabOrder(txtReplace, cmdReplace);
    setTabOrder(cmdReplace, cmdCancel);

    // Either box may make Replace pointless: nothing to find, or a replacement no name may hold.
    connect(txtFind, &QLineEdit::textChanged, this, &frmReplace::validate_text);
    connect(txtReplace, &QLineEdit::textChanged, this, &frmReplace::validate_text);
    connect(cmdReplace, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    txtFind->installEventFilter(this);
    txtReplace->installEventFilter(this);
    txtFind->setFocus();
}

void frmReplace::validate_text()
{
    cmdReplace->setEnabled(!txtFind->text().isEmpty() &&
                           !basMain::HoldsInvalidChars(txtReplace->text()));
}

bool frmReplace::eventFilter(QObject* watched, QEvent* event)
{
    // Typing replaces the whole text, however the box got the focus. Queued, because a mouse
    // press that gave the focus would otherwise place the cursor over the selection.
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, box, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<frmReplace::Texts> frmReplace::ask(QWidget* owner)
{
    std::optional<Texts> texts;
    auto show = [&] {
        // Made for each use, so every opening starts from " " and "_".
        frmReplace dialog(owner);
        if (dialog.exec() == QDialog::Accepted)
            texts = Texts{dialog.txtFind->text(), dialog.txtReplace->text()};
    };
    if (QThread::currentThread() == owner->thread())
        show();
    else
        QMetaObject::invokeMethod(owner, show, Qt::BlockingQueuedConnection);
    return texts;
}
