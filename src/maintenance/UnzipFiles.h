#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace kelmar {

class BatchHost;
class ZipComponent;

// What an unzip batch did, for callers that want more than the log (the command line).
struct UnzipReport
{
    struct Archive
    {
        QString path;
        int result = 0; // the component's code; a refusal of our own uses its codes too
        QString reason; // empty when the archive was extracted
        bool deleted = false;
        bool notDeleted = false; // it was to be deleted, and stays (the log says why)
    };
    struct Rename
    {
        QString from;
        QString to;
    };
    std::vector<Archive> archives;
    std::vector<Rename> renames; // the renames carried out, in order
    QString destination;         // empty when nothing was selected or the picker was cancelled
    int lastResult = 0;
    bool nothingSelected = false;
    bool pickerCancelled = false;
    bool stopped = false; // Stop ended the walk before the last selected archive
    bool fatal = false;   // an unexpected error ended the batch and the program is to end

    int failedCount() const;
};

// Free space, in bytes, of the file system that holds folder (fs::freeSpaceOf by default).
using FreeSpaceProbe = std::function<qint64(const QString& folder)>;

// "UnZIP Files": extracts every selected archive of the host's file list into one
// destination (picked once, or the list's folder) by the options of the unzip tab, logs
// "Unzipped <path>" or "Error unzipping <path>" for each, deletes the archives that were
// extracted without error when "Delete ZIP Files" is ticked, and renames the extracted files
// after their archives once the batch is over when "Rename Files after ZIP" is ticked.
//
// Before each archive the uncompressed size of what it will extract is checked against the
// destination's free space; an archive that does not fit fails without writing anything.
// Stop also interrupts the archive in hand: its partly written file is never left under a
// real name.
//
// onArchive, when given, is called before each archive is extracted (1-based number, total,
// path). freeSpace replaces the file system's answer (tests).
UnzipReport
unzip_files(BatchHost& host, ZipComponent& zip,
            const std::function<void(int number, int total, const QString& path)>& onArchive = {},
            const FreeSpaceProbe& freeSpace = {});

} // namespace kelmar
