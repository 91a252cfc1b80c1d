// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QThread>

namespace kelmar::Dialogs {

Script& script()
{
    static Script s;
    return s;
}

namespace {

QMessageBox::StandardButtons standardButtons(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case MsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon standardIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::None:
        return QMessageBox::NoIcon;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer fromStandard(int button)
{
    switch (button) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Abort:
        return MsgAnswer::Abort;
    case QMessageBox::Ignore:
        return MsgAnswer::Ignore;
    default:
        return MsgAnswer::Cancel;
    }
}

void noteThread(Script& s)
{
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        ++s.askedOffUiThread;
}

// Whether the dialog is scripted, and then its answer: a path, or nothing for Cancel (an
// empty queued text, or none queued).
bool scriptedFile(const QString& title, std::optional<QString>& answer)
{
    Script& s = script();
    if (!s.active)
        return false;
    noteThread(s);
    s.asked.append(title);
    answer.reset();
    if (!s.files.empty()) {
        if (!s.files.front().isEmpty())
            answer = s.files.front();
        s.files.pop_front();
    }
    return true;
}

std::optional<QString> chosen(const QString& path)
{
    return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
}

} // namespace

MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                     MsgButtons buttons)
{
    Script& s = script();
    if (s.active) {
        noteThread(s);
        s.asked.append(title + u'|' + text);
        if (s.messages.empty())
            return MsgAnswer::Cancel;
        MsgAnswer answer = s.messages.front();
        s.messages.pop_front();
        return answer;
    }
    QMessageBox box(standardIcon(icon), title, text, standardButtons(buttons), owner);
    return fromStandard(box.exec());
}

std::optional<QString> browseForFolder(QWidget* owner, const QString& title)
{
    std::optional<QString> answer;
    if (scriptedFile(title, answer))
        return answer;
    return chosen(
        QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly));
}

QString toQtFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        // "*.*" means every file on the system the filters were written for.
        if (patterns == u"*.*")
            patterns = QStringLiteral("*");
        if (description.contains(u'('))
            description = description.left(description.indexOf(u'(')).trimmed();
        filters.append(description + QStringLiteral(" (") + patterns + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> saveFileName(QWidget* owner, const QString& title, const QString& filter,
                                    const QString& initialName)
{
    std::optional<QString> answer;
    if (scriptedFile(title, answer))
        return answer;
    return chosen(QFileDialog::getSaveFileName(owner, title, initialName, toQtFilter(filter)));
}

std::optional<QString> openFileName(QWidget* owner, const QString& title, const QString& filter,
                                    const QString& initialName)
{
    std::optional<QString> answer;
    if (scriptedFile(title, answer))
        return answer;
    return chosen(QFileDialog::getOpenFileName(owner, title, initialName, toQtFilter(filter),
                                               nullptr, QFileDialog::ReadOnly));
}

std::optional<QString> inputBox(QWidget* owner, const QString& prompt, const QString& title,
                                const QString& defaultText)
{
    Script& s = script();
    if (s.active) {
        noteThread(s);
        s.asked.append(title + u'|' + prompt);
        if (s.inputs.empty())
            return std::nullopt;
        const bool given = s.inputs.front().has_value();
        QString text = s.inputs.front().value_or(QString());
        s.inputs.pop_front();
        if (!given)
            return std::nullopt;
        return text;
    }
    bool ok = false;
    QString text = QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace kelmar::Dialogs
