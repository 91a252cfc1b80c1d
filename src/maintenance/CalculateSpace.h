// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>

namespace kelmar {

// What Calculate Space in Zips is to read, fixed by the front end before it starts.
struct SpaceRequest
{
    BatchFiles files; // the selected archives (names ending in ".zip"), in list order
    int workers = 0;  // archives listed at once; 0: the pool's default
};

// "1,234,567 unzipped bytes in 3 files": digits grouped by thousands with the locale's
// separator (the C locale's too), "file" for one archive.
QString spaceMessage(quint64 bytes, int archives);

// "Calculate Space in Zips": totals the uncompressed sizes of the entries of every archive of
// the request (report.bytes, exact whatever the size) and says it in a message box
// (spaceMessage, titled "Information"). Nothing is extracted. An archive whose listing fails
// is logged and still counted, with the entries listed so far: its item is Failed, the
// others Done. Clears the log first; Stop ends the batch after the archives in hand. With no
// archive it says "Whoops!" and ends as NothingSelected.
BatchReport calculate_space(const SpaceRequest& request, ProgressSink& sink,
                            BatchQuestions& questions);

} // namespace kelmar
