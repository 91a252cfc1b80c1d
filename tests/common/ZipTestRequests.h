// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/FakeHost.h"
#include "maintenance/ZipOptions.h"

namespace kelmar::test {

// The host's selected names, in list order, as the window hands them to a batch.
inline BatchFiles zipSelection(const FakeHost& host)
{
    BatchFiles files{host.folder(), {}};
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelected(i))
            files.names.append(host.fileName(i));
    }
    return files;
}

// The request the window makes from the host's selection and options once it has asked
// where to write: the archive in the one-archive mode, else the per-file archives' folder
// (empty: beside the files).
inline ZipRequest zipRequest(const FakeHost& host, const QString& whereTo = QString())
{
    ZipRequest request = zipRequestFrom(host.opts);
    request.files = zipSelection(host);
    request.workers = host.workers;
    if (request.mode == ZipRequest::Mode::OneArchive)
        request.archive = whereTo;
    else
        request.targetFolder = whereTo;
    return request;
}

// The request for the host's tree folder, after the question was answered.
inline FoldersToZipsRequest foldersToZipsRequest(const FakeHost& host, bool deleteFolders)
{
    FoldersToZipsRequest request = foldersToZipsRequestFrom(host.opts);
    request.folder = host.treeFolder();
    request.deleteFolders = deleteFolders;
    request.workers = host.workers;
    return request;
}

// The result code of the last archive, as the closing message reports it.
inline int lastCode(const BatchReport& report)
{
    return report.items.empty() ? 0 : report.items.back().code;
}

} // namespace kelmar::test
