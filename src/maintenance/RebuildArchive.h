// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"

#include <QString>

#include <functional>

namespace kelmar {

class ArchiveRebuilder;

// What a batch that rebuilds archives (rezip, remove non-ROMs, change attributes) is to do,
// fixed by the front end before it starts; each batch reads the fields it names.
struct RebuildRequest
{
    BatchFiles files;      // the selected archives (names ending in ".zip"), in list order
    int level = 6;         // rezip, attributes: the compression level, 0 (store) to 9
    QString readPassword;  // decrypts the old archives (the unzip password when ticked)
    QString writePassword; // rezip: encrypts the new ones with AES-256; empty: none
    QString romFilter;     // remove non-ROMs: the entries it keeps ("*.nes;*.sfc")
    int attributes = 0;    // change attributes: the sum of the chosen AttributeBits
    bool torrentZip = false; // rezip: write the TorrentZip layout (level and writePassword unused)
    int workers = 0;       // archives rebuilt at once; 0: the pool's default
};

// What the front ends say when TorrentZip is asked for together with a password for the new
// archives: the layout has no encryption, so they refuse before anything starts.
QString torrentZipPasswordNotice();

// Called as each archive is taken up: its 1-based number, the total and its path.
using RebuildTaken = std::function<void(int number, int total, const QString& path)>;

// Before a batch rebuilds archives in files' folder: removes the temporary files that an
// earlier Kelmar, killed while it rebuilt or unzipped there, left behind (fs::removeStaleTemps).
void removeLeftoverTemps(const BatchFiles& files);

// Rebuilds the archive at path and says what became of it: Done when it changed, Unchanged
// when it had nothing to change, Failed (code and reason) when it stays as it was. A failure
// is logged as failureLead followed by the path, and the reason on the next line.
ItemOutcome rebuildAndLog(ProgressSink& log, ArchiveRebuilder& rebuilder, const QString& path,
                          const QString& failureLead);

} // namespace kelmar
