#pragma once

#include "settings/Options.h"

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

// What a batch operation needs from the program that runs it: the file list and its
// selection, the options, the log and the status panel, the busy state and the stop flag,
// and the questions it asks the user.
//
// The main window implements it with its widgets, the command line with flags and terminal
// prompts, the tests with a script. Batches run on a worker thread; every method here may be
// called from that thread, and an implementation that owns widgets marshals the call to its
// own thread. Questions block the batch until they are answered; every question says
// "cancelled" the same way: MsgAnswer::Cancel for a message box, no text for the others.
class BatchHost
{
public:
    virtual ~BatchHost() = default;

    // --- the file list, as it stood when the batch started (positions 0 to fileCount()-1)
    // The listed folder, without a trailing separator unless it is the root.
    virtual QString folder() const = 0;
    virtual int fileCount() const = 0;
    virtual QString fileName(int position) const = 0;
    virtual bool isSelected(int position) const = 0;
    // folder() joined with the entry's name.
    QString fullPath(int position) const;
    // Selected, and named like an archive (basMain::HasZipExtension).
    bool isSelectedArchive(int position) const;
    // The folder the folder tree shows; the list's folder where there is no tree.
    virtual QString treeFolder() const { return folder(); }
    // The name the folder tree shows for its selected folder.
    virtual QString treeDisplayName() const;
    // The system's temporary folder, with a trailing separator.
    virtual QString tempPath() const = 0;

    // --- options of the settings tabs, as they stood when the batch started
    virtual Options options() const = 0;

    // --- log and status bar
    virtual void write_log(const QString& line) = 0;
    virtual void clear_log() = 0;
    // Status panel 1. Cheap: it never waits for the screen to repaint.
    virtual void setStatusText(const QString& text) = 0;
    // Puts the credit line back into status panel 1.
    virtual void showCreditLine() = 0;

    // --- busy state and stop flag
    virtual void protect_form() = 0;
    virtual void release_form() = 0;
    // Set by Stop (or by closing the window) since the batch started. Whoever runs the batch
    // clears it before the batch starts; an operation only reads it.
    virtual bool stopRequested() const = 0;
    // Stops the running batch at its next test, as Stop would.
    virtual void requestStop() = 0;

    // --- questions; each blocks until the user answers
    virtual MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, Question kind = Question::Notice) = 0;
    // The chosen folder; nothing when cancelled.
    virtual std::optional<QString> browseForFolder(const QString& title) = 0;
    // filter in the "Zip Files|*.zip" form. The chosen path; nothing when cancelled.
    virtual std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                                const QString& initialName) = 0;
    // The typed text; nothing when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    virtual void beep() = 0;

    // --- after files changed
    // Re-reads the listed folder (clearing the selection), then recounts.
    virtual void refresh() = 0;
    virtual void update_count() = 0;
    // Re-reads the folder tree, so new and removed folders show.
    virtual void refreshTree() {}

    // --- after a fatal error
    // Ends the program through its normal shutdown (settings saved) once the batch returns.
    virtual void endProgram() {}
};

} // namespace kelmar
