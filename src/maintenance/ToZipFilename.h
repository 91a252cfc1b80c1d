// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

namespace kelmar {

// What "to Zipped Filename" is to rename, fixed by the front end before it starts.
struct ZipNameRequest
{
    BatchFiles files; // the selected archives (names ending in ".zip"), in list order
};

// "to Zipped Filename": gives each archive of the request the name of the one file it holds
// (PAC.ZIP holding pacman.rom becomes pacman.zip in the same folder). A rename never replaces
// an existing file, hidden or not. Clears the log first; no Stop.
//
// One item per archive: Done (target: the new path), Unchanged (it bears that name already),
// Skipped (it holds no entry or several: left alone silently), Failed (the new name is taken:
// logged, or asked about when the listing cannot show what holds it; or the rename failed:
// logged).
BatchReport to_zip_filename(const ZipNameRequest& request, ProgressSink& sink,
                            BatchQuestions& questions);

} // namespace kelmar
