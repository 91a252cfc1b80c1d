#pragma once

#include "maintenance/RebuildReport.h"

#include <functional>

namespace kelmar {

class BatchHost;
class ZipComponent;

// "ReZip": rebuilds every selected archive of the host's file list at the compression level
// of the zip settings, from its file entries at the top level (folder names dropped), read
// with the unzip password and written with the zip password (AES-256).
//
// Each archive is rebuilt beside itself and replaces the old one only once the new one has
// been read back whole (ArchiveRebuilder); an archive that cannot be rebuilt is logged as
// "Error when rezipping PATH", with the reason on the next line, and stays as it was.
// Entries keep their modification times and attributes. Status panel 1 shows "Rezipping
// File k of n [bar]"; Stop ends the batch after the archive in hand. onArchive, when given,
// is called before each archive (1-based number, total, path).
RebuildReport
rezip_files(BatchHost& host, ZipComponent& zip,
            const std::function<void(int number, int total, const QString& path)>& onArchive = {});

} // namespace kelmar
