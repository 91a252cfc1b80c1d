#pragma once

#include <QString>

#include <vector>

namespace kelmar {

// What a batch that rebuilds archives did, for callers that want more than the log (the
// command line): rezip, remove non-ROMs, change attributes.
struct RebuildReport
{
    struct Archive
    {
        QString path;
        int result = 0; // the result code of the rebuild (ZipError.h)
        QString reason; // empty when the archive was rebuilt or had nothing to change
        bool changed = false;
        int removed = 0; // entries removed (remove non-ROMs)
    };
    std::vector<Archive> archives;
    bool nothingSelected = false;
    bool cancelled = false; // the question or the dialog was answered No or Cancel
    bool stopped = false;   // Stop ended the walk before the last position

    int failedCount() const
    {
        int n = 0;
        for (const Archive& a : archives)
            n += a.result != 0 ? 1 : 0;
        return n;
    }
};

class ArchiveRebuilder;
class BatchHost;

// Before a batch rebuilds archives in the host's folder: removes the temporary files that an
// earlier Kelmar, killed while it rebuilt or unzipped there, left behind (fs::removeStaleTemps).
void removeLeftoverTemps(const BatchHost& host, const std::vector<int>& positions);

// Rebuilds the archive at path and says what became of it; a failure is logged to host as
// failureLead followed by the path, and the reason on the next line.
RebuildReport::Archive rebuildAndLog(BatchHost& host, ArchiveRebuilder& rebuilder,
                                     const QString& path, const QString& failureLead);

} // namespace kelmar
