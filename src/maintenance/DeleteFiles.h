// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

namespace kelmar {

// What Delete is to delete, fixed by the front end once the user confirmed it.
struct DeleteRequest
{
    BatchFiles files; // the selected files, in list order
};

// The confirmation a front end asks before Delete starts.
QString deleteQuestion();

// "Delete": deletes every file of the request, read-only ones included, logging
// "Deleted <path>" for each (Done). Files that have vanished, hidden files and folders are
// Skipped without a line; a link is removed as a link, its target left alone. A file that
// cannot be deleted gets a log line (Failed) and the walk goes on. Clears the log first.
BatchReport delete_files(const DeleteRequest& request, ProgressSink& sink,
                         BatchQuestions& questions);

} // namespace kelmar
