// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CollectionScan.h"
#include "catalogue/FixPlan.h"
#include "catalogue/Verification.h"
#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kelmar {

// What a DAT batch works on, fixed by the front end before it starts.
struct DatRequest
{
    std::shared_ptr<const catalogue::Catalogue> catalogue; // loaded by the front end
    QStringList roots; // folders (with their sub-folders) and files of the collection
    catalogue::MatchHash hash = catalogue::MatchHash::Crc;
    bool dryRun = false; // dat_fix: plan only
    QString moveTo;      // dat_clean: the folder the unknown files go to; empty: list only
    int workers = 0;     // files read at once; 0: the pool's default
};

// What a DAT batch found, for the front end to show: the collection as read, its judgement,
// and for dat_fix the plan (carried out unless dryRun; the judgement is then the one made
// after the fix).
struct DatOutcome
{
    std::vector<catalogue::ScannedItem> scan;
    catalogue::Verification verification;
    catalogue::FixPlan plan;
    QStringList missingRoots; // roots that do not exist
    // Failed items: files that could not be read, fix steps that failed; Done items: the fix
    // steps carried out (target: the archive written). end: Stopped after Stop.
    BatchReport report;
};

// Reads every file under the request's roots on the worker pool (the status line counts
// them; Stop ends the reading) and judges the collection against the catalogue. The log
// gets a line per file that could not be read and the summary.
DatOutcome dat_verify(const DatRequest& request, ProgressSink& sink, BatchQuestions& questions);

// dat_verify, then the fix planFix makes, one step after another (each logged), then the
// collection read and judged again. Nothing runs after Stop; nothing is deleted.
DatOutcome dat_fix(const DatRequest& request, ProgressSink& sink, BatchQuestions& questions);

// dat_verify, then every file of the collection that matches nothing in the catalogue (a
// whole archive or a loose file) moved into request.moveTo (not into its sub-folders), one
// log line each: "Moved FILE to FOLDER". Entries of archives that also hold ROMs are only
// listed. Nothing is deleted or replaced: a name taken in the folder, or a move to another
// file system, leaves the file where it is (a Failed item says why). The front end asks the
// user before it starts.
DatOutcome dat_clean(const DatRequest& request, ProgressSink& sink, BatchQuestions& questions);

// "1 complete, 2 fixable, 0 incomplete, 3 missing, 4 unknown".
QString datSummary(const catalogue::StatusCounts& counts);

} // namespace kelmar
