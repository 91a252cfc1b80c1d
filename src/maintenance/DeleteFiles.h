#pragma once

#include <QStringList>

namespace kelmar {

class BatchHost;

// What Delete did.
struct DeleteReport
{
    bool confirmed = false;
    QStringList deleted; // full paths, in list order
    QStringList failed;  // full paths that could not be deleted
};

// "Delete": after one confirmation, deletes every selected file of the host's file list,
// read-only ones included, logging "Deleted <path>" for each. Files that have vanished, hidden
// files and folders are skipped; a link is removed as a link, its target left alone. A file
// that cannot be deleted gets a log line and the walk goes on.
DeleteReport delete_files(BatchHost& host);

} // namespace kelmar
