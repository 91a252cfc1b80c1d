// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>
#include <QStringList>

namespace kelmar {

class ZipComponent;

// What "Convert Sub Folders to Zips" is to do, settled by the front end before it starts.
struct FoldersToZipsRequest
{
    QString folder;             // whose immediate sub-folders are zipped
    bool deleteFolders = false; // delete each sub-folder once its archive holds all of it
    int level = 6;              // 0 stores, 1 to 9 deflate
    QString password;           // empty: no encryption
    bool keepPaths = false;     // store each file's path inside its folder
    int workers = 0;            // folders at once; 0: the pool's default
};

// "Convert Sub Folders to Zips": every immediate sub-folder X of request.folder becomes X.zip
// beside it, with all of X's content, hidden files included. Hidden sub-folders (names
// starting with ".") and links to folders are not converted: they are not the user's
// collection. Links inside a folder are never followed and not stored. A folder with a part
// that cannot be read is not zipped. Two files that would share an entry name (their names
// differ in case, or only their folders differ without keepPaths) are both stored, the
// second under a free name such as "a (2).rom".
//
// With deleteFolders a sub-folder is deleted afterwards, but only when its archive was
// written, every file in the folder now is one the archive stored and unchanged since it was
// read (device, inode, size, time), and a listing shows each at its size; otherwise it stays
// and a closing message names it.
//
// The report has one item per folder taken up: the folder, its archive as the target, the
// component's code; Failed with the component's words when the archive was not written,
// Kept with the reason when a folder to delete stayed; the notes say what was stored under
// another name or left out. A folder without sub-folders ends NothingSelected, silently: the
// front end said so before it started.
BatchReport convert_sub_folders_to_zips(const FoldersToZipsRequest& request, ProgressSink& sink,
                                        BatchQuestions& questions, ZipComponent& zip);

// The sub-folders the batch would convert, sorted as the folder tree sorts them.
QStringList subFoldersToZip(const QString& folder);

// What the front ends say before the batch: the notice for a folder without sub-folders and
// the question whether to delete the folders (Yes / No / Cancel), with their title.
QString foldersToZipsTitle();
QString noSubFoldersNotice();
// folder: the folder tree's folder; the question names its last part.
QString deleteFoldersQuestion(const QString& folder);

} // namespace kelmar
