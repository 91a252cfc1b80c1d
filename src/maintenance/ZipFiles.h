// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>
#include <QStringList>

namespace kelmar {

class ZipComponent;

// The case a per-file archive's name is given (never its folder's).
enum class ZipNameCase { Lower, Upper, AsItIs };

// What "ZIP Files" is to do, settled by the front end before the batch starts.
struct ZipRequest
{
    enum class Mode {
        OneArchive, // every file into `archive`
        PerFile,    // one archive per file, in `targetFolder`
    };

    BatchFiles files; // the selected files, in the list's order
    Mode mode = Mode::PerFile;
    QString archive;            // OneArchive: the archive to write (or add to), already chosen
    QString targetFolder;       // PerFile: where the archives go; empty: beside the files
    bool keepExtension = false; // PerFile: "NAME.EXT.zip", not "NAME.zip"
    ZipNameCase nameCase = ZipNameCase::Lower; // PerFile: the case of the archive's name
    int level = 6;                             // 0 stores, 1 to 9 deflate
    QString password;                          // empty: no encryption
    // Goes into every archive and is never deleted; empty: none. The front end leaves it
    // empty unless the file is there.
    QString infoFile;
    bool keepPaths = false;     // store each file's full path, not its name alone
    bool deleteSources = false; // delete each file once its archive is written
    // Each archive written is then laid out as TorrentZip (archive/TorrentZip.h), every entry
    // under its own name; level and password do not apply (the front end refuses a password).
    bool torrentZip = false;
    int workers = 0;            // archives (or deflating threads) at once; 0: the pool's
};

// "ZIP Files": zips the request's files either all into one archive or one archive per file.
//
// Each file goes in under its own name, exactly: no character of a name is special. A file
// never replaces another's entry. In the per-file mode a file whose name is taken in its
// archive (in any case) fails that archive; in the one-archive mode it is stored under a free
// name such as "a (2).rom", and the log says so. The info file is left out where its name is
// taken.
//
// Sources are deleted (deleteSources) only after the archive holding them has been written
// and closed, and only while each is still the file that was read; the info file never. A
// source kept gets a log line. In the one-archive mode Stop cancels the archive being
// written, which is then left as it was. In the per-file mode Stop is read after each
// archive, so the archive in hand is completed.
//
// With torrentZip each archive, once written, is rebuilt in the TorrentZip layout (safely, as
// a rezip is); a failure there is the archive's failure, logged as any other, the archive
// then holding the files as zipped.
//
// The report has one item per archive: its path, the files that went into it (not the info
// file), the component's code and, for a failure, its words. The notes are what the archive
// stored otherwise than asked, as the log says it, then one keptSourceNote for each source
// that was to be deleted and was kept. Nothing to zip shows "Whoops!" and ends
// NothingSelected; "No" to an unexpected error ends EndProgram. The component carries what
// earlier batches stored in the same archives, so that a clash names the file that holds the
// name.
BatchReport zip_files(const ZipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                      ZipComponent& zip);

// Nothing to zip: no file, and in the one-archive mode no info file either. The window says
// so before it asks where to write, the batch if it is given nothing.
bool nothingToZip(const ZipRequest& request);
// What "Whoops!" then says.
QString nothingToZipNotice();

// The note of an outcome for a source that was to be deleted and was kept: "not deleted: "
// followed by keptSource ("PATH: WHY").
QString keptSourceNote(const QString& keptSource);
// The "PATH: WHY" of every kept source an outcome's notes name.
QStringList keptSources(const ItemOutcome& archive);

// The archive path of the per-file mode for a source file's name: targetFolder + the name
// (without its extension unless keepExtension) + ".zip", the file name in nameCase. The
// folder keeps its case: on a file system that tells cases apart another case would name
// another folder.
QString perFileArchivePath(const QString& targetFolder, const QString& entryName,
                           bool keepExtension, ZipNameCase nameCase);

} // namespace kelmar
