// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipComponent.h"
#include "maintenance/ZipFiles.h"

#include <functional>

namespace kelmar {

// What both modes of "ZIP Files" do alike (ZipFiles.cpp), and the per-file mode
// (ZipEachFile.cpp).
namespace zipsteps {

// The component's cancel check for the duration of one call, and none afterwards: the
// component outlives the batch and other batches read Stop their own way.
class CancelGuard
{
public:
    CancelGuard(ZipComponent& zip, std::function<bool()> check) : m_zip(zip)
    {
        m_zip.setCancelCheck(std::move(check));
    }
    ~CancelGuard() { m_zip.setCancelCheck({}); }
    CancelGuard(const CancelGuard&) = delete;
    CancelGuard& operator=(const CancelGuard&) = delete;

private:
    ZipComponent& m_zip;
};

// An archive's failure, on a line of its own (the end message reports only the last result).
void logFailure(ProgressSink& sink, const QString& archivePath, int result, const QString& detail);
// The name a file is stored under: its name, or with "Store Path Information" its full path
// without the leading separator.
QString entryNameFor(const QString& path, bool keepFolderNames);
// What the component stored otherwise than asked, one line each.
void logNotes(ProgressSink& sink, const ZipComponent& zip);
void configure(ZipComponent& zip, const ZipRequest& request);
// TorrentZip: the archive just written, laid out anew with every entry under its own name.
int toTorrentZip(const ZipRequest& request, const QString& archivePath, int result, int threads,
                 QString* detail);
// TorrentZip: an archive that exists already and holds two names the layout takes for one
// is refused before anything is added to it. ZipOk otherwise.
int torrentZipRefusal(const ZipRequest& request, const QString& archivePath, QString* detail);
ZipSource infoSource(const ZipRequest& request);
// One archive's outcome: the component's code, what it stored otherwise than asked, and the
// sources that were to be deleted and were not.
ItemOutcome outcomeOf(const QString& archivePath, const QStringList& sources, int code,
                      const QString& detail, const ZipComponent& zip, const QStringList& kept);
// What every run ends with: the credit line back, and a message for the last result.
void closeBatch(ProgressSink& sink, BatchQuestions& questions, int lastResult);

// The per-file mode.
BatchReport zipEachFile(const ZipRequest& request, ProgressSink& sink, BatchQuestions& questions,
                        ZipComponent& zip);

} // namespace zipsteps
} // namespace kelmar
