// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ToZipFilename.h"

#include "archive/ZipComponent.h"
#include "fs/AddModeBits.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/ArchiveEvents.h"
#include "names/basMain.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <sys/stat.h> // S_IWUSR: the mode bits added (fs::addModeBits)

namespace kelmar {

namespace {

// The name of the entry's file: an entry stored with a path names the file after the last
// separator (either slash; archives made on Windows may use backslashes).
QString entryFileName(const QString& entry)
{
    const qsizetype at = std::max(entry.lastIndexOf(u'/'), entry.lastIndexOf(u'\\'));
    return entry.mid(at + 1);
}

// The name of the one file the archive holds, without its extension; empty when there is
// nothing to name the archive after.
QString singleEntryBase(ZipComponent& zip, ArchiveEvents& events, const QString& path)
{
    events.listedNames().clear();
    zip.setArchivePath(path);
    zip.list();
    // No entry, several, a folder entry, or a name that is all extension (".nes" would make
    // the hidden ".zip"): the base is empty.
    return events.listedNames().size() == 1
               ? basMain::StripExtension(entryFileName(events.listedNames().front()))
               : QString();
}

// Renames oldPath to newPath, a name the listing does not show; what it came to.
void renameArchive(ItemOutcome& item, const QString& oldPath, const QString& newPath,
                   ProgressSink& sink, BatchQuestions& questions)
{
    // Normal attributes: owner-writable, so a read-only archive is renamed too; a link's
    // target, wherever it lies, keeps its mode.
    fs::addModeBits(oldPath, S_IWUSR);
    QString error;
    if (fs::renameNoReplace(oldPath, newPath, &error)) {
        item.result = ItemResult::Done;
    } else if (basMain::NameTaken(newPath)) {
        // Taken by something the listing does not show: a hidden file, a folder.
        item.result = ItemResult::Failed;
        item.reason = QStringLiteral("the name is taken");
        questions.messageBox(u'\'' + newPath + QStringLiteral("' already exists.") + u'\r' +
                                 QStringLiteral("Check for Dupes."),
                             QStringLiteral("Warning."), MsgIcon::Information, MsgButtons::Ok);
    } else {
        // Ending the program here would leave the rest of the selection undone for no gain;
        // the line says what failed and the batch goes on.
        item.result = ItemResult::Failed;
        item.reason = error;
        sink.write_log(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                       newPath + QStringLiteral(": ") + error);
    }
}

} // namespace

BatchReport to_zip_filename(const ZipNameRequest& request, ProgressSink& sink,
                            BatchQuestions& questions)
{
    BatchReport report;
    std::atomic<bool> stop{false};
    ZipComponent zip;
    ArchiveEvents events(sink, questions, &stop, zip);
    sink.clear_log();

    for (int i = 0; i < request.files.size(); ++i) {
        ItemOutcome item;
        item.path = request.files.path(i);
        const QString base = singleEntryBase(zip, events, item.path);
        if (base.isEmpty()) {
            item.result = ItemResult::Skipped;
            item.reason = QStringLiteral("it does not hold exactly one file");
        } else {
            // Renamed within its own folder, which a list with sub-folders need not be.
            item.target = item.path.left(item.path.lastIndexOf(u'/') + 1) + base +
                          QStringLiteral(".zip");
            if (item.path == item.target) {
                item.result = ItemResult::Unchanged;
            } else if (basMain::FileExists(item.target)) {
                item.result = ItemResult::Failed;
                item.reason = QStringLiteral("the name is taken");
                sink.write_log(QStringLiteral("Error renaming ") + item.path +
                               QStringLiteral("! ") + item.target +
                               QStringLiteral(" already exists."));
            } else {
                renameArchive(item, item.path, item.target, sink, questions);
            }
        }
        report.items.push_back(item);
    }
    return report;
}

} // namespace kelmar
