// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchReport.h"

#include <QString>

namespace kelmar {

// The batches, as their closing line names them.
enum class BatchKind {
    Test,
    Zip,
    FoldersToZips,
    Unzip,
    Space,
    ZipName,
    Rezip,
    RemoveNonRoms,
    Attributes,
    Delete,
    Rename,
};

// What the closing line needs beyond the report.
struct SummaryOf
{
    BatchKind kind = BatchKind::Test;
    bool deleting = false; // unzip, zip, folders to zips: the sources were to be deleted
};

// The one line that closes a batch, in the log and the status bar of the window and in the
// command line's log: "Tested 40,000 archives: 39,990 good, 10 bad (set aside), 0 could not
// be tested"; "Unzipped 120 archives (118 deleted, 2 kept: see the log)". Numbers with
// thousands separators, singular and plural as the count asks. Empty when the batch did
// nothing to speak of (nothing selected, cancelled, the program ends, a report without
// items that was not stopped).
QString batchSummary(const SummaryOf& what, const BatchReport& report);

// "1 archive", "40,000 archives".
QString countOf(qint64 count, const char* one, const char* many);

} // namespace kelmar
