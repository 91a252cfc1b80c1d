// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"
#include "maintenance/UnzipPlan.h"
#include "settings/Options.h"

#include <QString>

#include <functional>

namespace kelmar {

// An unzip batch as the front end fixed it before it starts.
struct UnzipRequest
{
    BatchFiles files; // the archives, in list order
    // Where to extract: into destination (chosen by the front end, existing or made on the
    // way) or beside the archives, in their folder.
    bool besideArchives = false;
    QString destination;
    bool folderPerArchive = false; // into a folder named after each archive
    bool keepFolderNames = true;   // the folder names stored in the archives
    bool romsOnly = false;         // only the entries the ROM filter names
    QString romFilter;             // "*.nes;*.sfc"; empty selects every entry
    bool renameToArchive = false;  // rename each extracted file after its archive, at the end
    UnzipCase renameCase = UnzipCase::Original;
    bool deleteArchives = false; // each archive extracted without error, once that is on disk
    QString password;
    int workers = 0; // archives at once; 0 takes the pool's default
};

// For the front ends: the request the unzip tab's options make for files (the destination
// is left to the front end unless the options put it beside the archives).
UnzipRequest unzipRequestFromOptions(const Options& options, const BatchFiles& files);

// Free space, in bytes, of the file system that holds folder (fs::freeSpaceOf by default).
using FreeSpaceProbe = std::function<qint64(const QString& folder)>;

// What a caller may follow or replace: onArchive runs before each archive is extracted
// (1-based number, total, path); freeSpace replaces the file system's answer (tests).
struct UnzipHooks
{
    std::function<void(int number, int total, const QString& path)> onArchive;
    FreeSpaceProbe freeSpace;
};

// "UnZIP Files": extracts every archive of the request, logs "Unzipped <path>" or "Error
// unzipping <path>" for each, deletes the archives that were extracted without error when
// asked to, and renames the extracted files after their archives once the batch is over.
//
// Each archive is opened once: its listing is the plan of what it writes (its size is
// checked against the destination's free space; an archive that does not fit fails without
// writing anything), and its extraction, from the same open archive, says what it wrote;
// deleting it and renaming its files are judged from that. Stop also interrupts the archive
// in hand: its partly written file is never left under a real name.
//
// The report has an item per archive taken up: Done (extracted, and deleted when asked),
// Unchanged (nothing in it was selected), Kept (extracted, but it was to be deleted and
// stays: reason says why), Failed, or Skipped with code 190 when Stop interrupted it. Its
// target is the folder it was extracted to, its sources the files extracted, its notes the
// renames of its files ("FROM -> TO").
BatchReport unzip_files(const UnzipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                        const UnzipHooks& hooks = {});

} // namespace kelmar
