// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelmar {

// The buttons and icons of a message box, as the operations word their questions.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgIcon { None, Information, Question, Exclamation, Critical };
enum class MsgAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// What a question is about, so that a front end without dialogs (the command line, a test
// script) answers it by its meaning and never by its wording or its title.
enum class Question {
    Notice,               // something to read; OK is the only answer
    ConfirmDelete,        // delete the selected files? (Yes / No)
    DeleteZippedFolders,  // delete each sub-folder once its archive is written? (Yes/No/Cancel)
    ConfirmRemoveNonRoms, // remove what is not a ROM from the selected archives? (Yes / No)
    ContinueAfterError,   // an unexpected error: try to continue? (No ends the program)
    Other,                // anything else: a front end without dialogs takes the safe answer
};

// The files a batch works on, fixed by the front end before the batch starts: the listed
// folder and the selected names in the list's order. A name is a name: no character in it
// is special.
struct BatchFiles
{
    QString folder;    // without a trailing separator unless it is the root
    QStringList names; // the selected names, in the list's order

    int size() const { return int(names.size()); }
    bool empty() const { return names.isEmpty(); }
    // folder joined with the i-th name.
    QString path(int i) const;
};

// How far a batch over many items has come: doing ("Testing", "Unzipping", ...) done of total
// items, counted as items finish, in list order.
struct BatchCount
{
    QString doing;
    int done = 0;
    int total = 0;
};

// "Testing 12,345 of 40,000": the numbers grouped by the locale's thousands separator (the C
// locale's too), as "Calculate Space" groups its total.
QString batchCountText(const BatchCount& count, const QLocale& locale = QLocale());

// What a running batch shows while it runs: the log, the status panel, and the one thing it
// reads back, whether Stop was pressed. Every method may be called from the batch's thread;
// an implementation that owns widgets marshals the call to its own thread.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;

    virtual void write_log(const QString& line) = 0;
    virtual void clear_log() = 0;
    // Status panel 1. Cheap: it never waits for the screen to repaint.
    virtual void setStatusText(const QString& text) = 0;
    // Puts the credit line back into status panel 1.
    virtual void showCreditLine() = 0;
    // Set by Stop (or by closing the window, or by a signal) since the batch started.
    virtual bool stopRequested() const = 0;
    // One more item of the batch is finished. Called in list order, from the batch's thread,
    // never more often than items finish; cheap like setStatusText.
    virtual void batchProgress(const BatchCount& count) = 0;
};

// What only a running batch can ask: what to do after an error it met, a notice it must
// show before going on, a new name for a file it meets. Questions whose answers are known
// before the batch starts (where to write, whether to delete) are asked by the front end
// and arrive in the batch's request. Each blocks until answered; cancelled is
// MsgAnswer::Cancel for a message box, no text for the others.
class BatchQuestions
{
public:
    virtual ~BatchQuestions() = default;

    virtual MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, Question kind = Question::Notice) = 0;
    // The typed text; nothing when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
};

} // namespace kelmar
