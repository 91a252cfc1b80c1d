#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar {

class BatchHost;
class ZipComponent;

// What "ZIP Files" did, for callers that want more than the log and the closing message.
struct ZipFilesReport
{
    struct Archive
    {
        QString path;        // the archive as written (or as attempted)
        QStringList sources; // the selected files that went into it (not the info file)
        int result = 0;      // the component's code for this archive
        QString detail;      // the component's words for a failure
        QStringList kept;    // sources to delete that were not ("path: reason")
    };
    std::vector<Archive> archives;
    int lastResult = 0;
    bool stopped = false;         // Stop ended the run before every selected file was zipped
    bool nothingSelected = false; // the "Whoops!" message was shown
    bool cancelled = false;       // the save dialog or the folder picker was cancelled

    int failedCount() const;
    // Sources that "Delete Original Files" was to delete and did not.
    int keptCount() const;
};

// "ZIP Files": zips the selected files of the host's list with the options of the
// "ZIP Settings" tab, either all into one archive chosen with the save dialog, or one archive
// per file in a target folder (the source folder, or one asked for once per run).
//
// Each selected file goes in under its own name, exactly: no character of a name is special.
// A file never replaces another's entry. In the per-file mode a file whose name is taken in its
// archive (in any case) fails that archive; in the one-archive mode it is stored under a free
// name such as "a (2).rom", and the log says so. The info file is left out where its name is
// taken.
//
// Sources are deleted ("Delete Original Files") only after the archive holding them has been
// written and closed, and only while each is still the file that was read; the info file
// never. A source kept gets a log line. In the one-archive mode Stop cancels the archive
// being written, which is then left as it was. In the per-file mode Stop is read after each
// archive, so the archive in hand is completed.
ZipFilesReport zip_files(BatchHost& host, ZipComponent& zip);

// The archive path of the per-file mode for a source file's name: targetFolder (ending in a
// separator) + the name (without its extension unless keepExtension) + ".zip", the file name
// in the case of caseChoice (0 lower, 1 upper, 2 as it is). The folder keeps its case: on a
// file system that tells cases apart another case would name another folder.
QString perFileArchivePath(const QString& targetFolder, const QString& entryName,
                           bool keepExtension, int caseChoice);

} // namespace kelmar
