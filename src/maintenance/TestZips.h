// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>

#include <functional>

namespace kelmar {

// What Test Zips is to test, fixed by the front end before it starts.
struct TestRequest
{
    BatchFiles files; // the selected archives (names ending in ".zip"), in list order
    QString password; // decrypts with it (the unzip settings' password when ticked); empty: none
    int workers = 0;  // archives tested at once; 0: the pool's default
    // Also tell which archives hold the TorrentZip layout (archive/TorrentZip.h): the item's
    // torrentZip says, and each archive that does not is logged "<name> is not TorrentZip".
    bool checkTorrentZip = false;
    bool setAsideBad = true; // false: report only, a bad archive keeps its name
};

// Called as each archive is taken up: its 1-based number, the total and its path.
using ArchiveTaken = std::function<void(int number, int total, const QString& path)>;

// "Test Zips": tests every archive of the request, logs "<name> is bad!" (the reason on the
// next line) for each damaged one and renames it to <name>.bad unless that name is taken, and
// logs why an archive could not be judged (encrypted without the right password, a
// compression method this build cannot read) without renaming it. Clears the log first; Stop
// ends the batch after the archives in hand. With no archive it says "Whoops!" and ends as
// NothingSelected.
//
// One item per archive tested: Done (good), Failed (bad; target is the ".bad" path when it
// was set aside), NotJudged; code is the component's result of the last test.
BatchReport test_zip_files(const TestRequest& request, ProgressSink& sink,
                           BatchQuestions& questions, const ArchiveTaken& onArchive = {});

} // namespace kelmar
