#pragma once

#include "maintenance/BatchProgress.h"
#include "settings/Options.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kelmar {

// The old, whole shape of what a batch needs from the program that runs it: the file list
// and its selection, the options, the progress sink, the busy state and every question.
// Batches move to typed requests (the front end reads the list and the options and asks
// its own questions before the batch starts) with a ProgressSink and BatchQuestions; this
// stays only while front ends and tests still speak to batches that take it.
//
// The main window implements it with its widgets, the command line with flags and terminal
// prompts, the tests with a script. Batches run on a worker thread; every method here may be
// called from that thread, and an implementation that owns widgets marshals the call to its
// own thread. Questions block the batch until they are answered; every question says
// "cancelled" the same way: MsgAnswer::Cancel for a message box, no text for the others.
class BatchHost : public ProgressSink, public BatchQuestions
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

    // --- busy state and stop flag
    virtual void protect_form() = 0;
    virtual void release_form() = 0;
    // Stops the running batch at its next test, as Stop would.
    virtual void requestStop() = 0;

    // --- questions the front end asks before a batch starts
    // The chosen folder; nothing when cancelled.
    virtual std::optional<QString> browseForFolder(const QString& title) = 0;
    // filter in the "Zip Files|*.zip" form. The chosen path; nothing when cancelled.
    virtual std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                                const QString& initialName) = 0;
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
