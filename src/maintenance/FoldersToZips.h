#pragma once

#include "archive/ZipSource.h"
#include "maintenance/BatchHost.h"

#include <QString>

#include <vector>

namespace kelmar {

class ZipComponent;

// What "Convert Sub Folders to Zips" did with each sub-folder.
struct FoldersToZipsReport
{
    struct Folder
    {
        QString path;    // the sub-folder
        QString archive; // path + ".zip"
        int result = 0;  // the component's code for the archive
        QString detail;  // the component's words for a failure
        bool deleted = false;
        QString keptBecause;              // with Yes: why the folder was not deleted
        std::vector<StoredSource> stored; // what its archive stored, as read
        QStringList notes;                // files stored under another name
    };
    std::vector<Folder> folders;
    MsgAnswer answer = MsgAnswer::Cancel;
    bool noSubFolders = false;
    bool stopped = false;

    int failedCount() const;
};

// "Convert Sub Folders to Zips": every immediate sub-folder X of the folder tree's folder
// becomes X.zip beside it, with all of X's content, hidden files included. Hidden
// sub-folders (names starting with ".") and links to folders are not converted: they are not
// the user's collection. Links inside a folder are never followed and not stored. A folder
// with a part that cannot be read is not zipped. Two files that would share an entry name
// (their names differ in case, or only their folders differ without "Store Path Information")
// are both stored, the second under a free name such as "a (2).rom".
//
// With Yes to the question a sub-folder is deleted afterwards, but only when its archive was
// written, every file in the folder now is one the archive stored and unchanged since it was
// read (device, inode, size, time), and a listing shows each at its size; otherwise it stays
// and a closing message names it.
FoldersToZipsReport convert_sub_folders_to_zips(BatchHost& host, ZipComponent& zip);

} // namespace kelmar
