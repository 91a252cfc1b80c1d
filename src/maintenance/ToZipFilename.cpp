#include "maintenance/ToZipFilename.h"

#include "archive/ZipComponent.h"
#include "fs/AddModeBits.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"
#include "names/basMain.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace kelmar {

namespace {

// The name of the entry's file: an entry stored with a path names the file after the last
// separator (either slash; archives made on Windows may use backslashes).
QString entryFileName(const QString& entry)
{
    const qsizetype at = std::max(entry.lastIndexOf(u'/'), entry.lastIndexOf(u'\\'));
    return entry.mid(at + 1);
}

} // namespace

int ToZipFilenameReport::count(Outcome outcome) const
{
    int n = 0;
    for (const Archive& a : archives)
        n += a.outcome == outcome ? 1 : 0;
    return n;
}

ToZipFilenameReport to_zip_filename(BatchHost& host, ZipComponent& zip)
{
    using Outcome = ToZipFilenameReport::Outcome;
    ToZipFilenameReport report;
    ArchiveEvents events(host, zip);
    host.protect_form();
    QString folder = fs::withSeparator(host.folder());
    host.clear_log();

    for (int position = 0; position < host.fileCount(); ++position) {
        if (!host.isSelectedArchive(position))
            continue;
        const QString name = host.fileName(position);
        const QString oldPath = folder + name;
        ToZipFilenameReport::Archive archive;
        archive.path = oldPath;

        events.listedNames().clear();
        zip.setArchivePath(oldPath);
        zip.list();
        const QString base =
            events.listedNames().size() == 1
                ? basMain::StripExtension(entryFileName(events.listedNames().front()))
                : QString();
        if (base.isEmpty()) {
            // No entry, several, a folder entry, or a name that is all extension (".nes"
            // would make the hidden ".zip"): nothing to name the archive after.
            archive.outcome = Outcome::NotSingle;
            report.archives.push_back(archive);
            continue;
        }
        const QString newPath = folder + base + QStringLiteral(".zip");
        archive.newPath = newPath;
        if (oldPath == newPath) {
            archive.outcome = Outcome::AlreadyNamed;
            report.archives.push_back(archive);
            continue;
        }
        if (basMain::FileExists(newPath)) {
            host.write_log(QStringLiteral("Error renaming ") + oldPath + QStringLiteral("! ") +
                           newPath + QStringLiteral(" already exists."));
            archive.outcome = Outcome::Taken;
            report.archives.push_back(archive);
            continue;
        }
        // Normal attributes: owner-writable, so a read-only archive is renamed too; a link's
        // target, wherever it lies, keeps its mode.
        fs::addModeBits(oldPath, S_IWUSR);
        QString error;
        if (fs::renameNoReplace(oldPath, newPath, &error)) {
            archive.outcome = Outcome::Renamed;
        } else if (basMain::NameTaken(newPath)) {
            // Taken by something the listing does not show: a hidden file, a folder.
            archive.outcome = Outcome::Taken;
            host.messageBox(u'\'' + newPath + QStringLiteral("' already exists.") + u'\r' +
                                QStringLiteral("Check for Dupes."),
                            QStringLiteral("Warning."), MsgIcon::Information, MsgButtons::Ok);
        } else {
            // Ending the program here would leave the rest of the selection undone for no
            // gain; the line says what failed and the batch goes on.
            archive.outcome = Outcome::Failed;
            host.write_log(QStringLiteral("Error renaming ") + oldPath + QStringLiteral(" to ") +
                           newPath + QStringLiteral(": ") + error);
        }
        report.archives.push_back(archive);
    }
    host.refresh();
    host.release_form();
    return report;
}

} // namespace kelmar
