// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

class QWidget;

namespace kelmar {

// Every modal question the program asks goes through here. Tests queue answers beforehand:
// a queued answer is used in place of showing the dialog, and the question is recorded.
namespace Dialogs {

MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                     MsgButtons buttons);
// The chosen folder or file; nothing when cancelled.
std::optional<QString> browseForFolder(QWidget* owner, const QString& title);
// filter in the "Zip Files|*.zip" form.
std::optional<QString> saveFileName(QWidget* owner, const QString& title, const QString& filter,
                                    const QString& initialName);
std::optional<QString> openFileName(QWidget* owner, const QString& title, const QString& filter,
                                    const QString& initialName);
std::optional<QString> inputBox(QWidget* owner, const QString& prompt, const QString& title,
                                const QString& defaultText);

// "Info Files (*.nfo)|*.nfo|All Files|*.*" -> "Info Files (*.nfo);;All Files (*)".
QString toQtFilter(const QString& pipeFilter);

// Queued answers for tests, consumed in order. An empty text answers a file or folder
// dialog with Cancel.
struct Script
{
    std::deque<MsgAnswer> messages;
    std::deque<QString> files; // folder picker, save and open dialogs
    std::deque<std::optional<QString>> inputs;
    QStringList asked;        // "title|text" of every question asked while scripted
    int askedOffUiThread = 0; // questions that reached a dialog from another thread
    bool active = false;
};
Script& script();

} // namespace Dialogs
} // namespace kelmar
