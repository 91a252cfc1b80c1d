// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ArchiveOperations.h"

#include "archive/ZipComponent.h"
#include "browse/FileListModel.h"
#include "maintenance/CalculateSpace.h"
#include "maintenance/ChangeAttributes.h"
#include "maintenance/DeleteFiles.h"
#include "maintenance/RemoveNonRoms.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"
#include "maintenance/ToZipFilename.h"
#include "maintenance/UnzipFiles.h"
#include "maintenance/ZipFiles.h"
#include "shell/Dialogs.h"
#include "shell/SelectedFiles.h"
#include "shell/ZipBatches.h"
#include "shell/frmAttributes.h"
#include "shell/frmKelmar.h"

#include <QHash>

using namespace kelmar;

namespace {

// The unzip tab's request for the selected archives; where to extract is asked here, before
// the batch starts, unless the tab puts them beside the archives.
std::optional<frmKelmar::BatchJob> prepareUnzip(frmKelmar& window, const BatchSnapshot& snapshot)
{
    const BatchFiles files = selectedArchives(snapshot);
    UnzipRequest request = unzipRequestFromOptions(snapshot.options, files);
    if (!files.empty() && !request.besideArchives) {
        window.clear_log();
        const std::optional<QString> chosen = Dialogs::browseForFolder(
            &window, QStringLiteral("Select the folder you wish to unzip to."));
        if (!chosen || chosen->isEmpty())
            return std::nullopt;
        request.destination = *chosen;
    }
    frmKelmar::BatchJob job;
    job.run = [request](ProgressSink& sink, BatchQuestions& questions) {
        return unzip_files(request, sink, questions);
    };
    job.refreshTree = true;
    return job;
}

using Job = std::optional<frmKelmar::BatchJob>;

// A job that runs batch over request; after it the window beeps when beep is set (and Sound
// is ticked) and re-reads the list when refreshList is.
template <typename Request, typename Batch>
frmKelmar::BatchJob jobOf(Request request, Batch batch, bool beep = true, bool refreshList = true)
{
    frmKelmar::BatchJob job;
    job.run = [request = std::move(request), batch](ProgressSink& sink,
                                                     BatchQuestions& questions) {
        return batch(request, sink, questions);
    };
    job.beep = beep;
    job.refreshList = refreshList;
    return job;
}

Job prepareTest(frmKelmar&, const BatchSnapshot& snapshot)
{
    TestRequest request;
    request.files = selectedArchives(snapshot);
    request.password = snapshot.options.unzipPassword();
    request.setAsideBad = !Options::isSet(snapshot.options.chkTestOnly);
    request.checkTorrentZip = Options::isSet(snapshot.options.chkCheckTorrentZip);
    frmKelmar::BatchJob job =
        jobOf(request, [](const TestRequest& r, ProgressSink& sink, BatchQuestions& q) {
            return test_zip_files(r, sink, q);
        });
    // The details view shows each archive's verdict for the rest of the session, under its
    // ".bad" name too when it was set aside.
    job.after = [](frmKelmar& window, const BatchReport& report) {
        for (const ItemOutcome& item : report.items) {
            Verdict verdict = Verdict::NotTested;
            if (item.result == ItemResult::Done)
                verdict = Verdict::Good;
            else if (item.result == ItemResult::Failed)
                verdict = Verdict::Bad;
            else if (item.result == ItemResult::NotJudged)
                verdict = Verdict::NotJudged;
            else
                continue;
            window.fileList()->setVerdict(item.path, verdict);
            if (!item.target.isEmpty())
                window.fileList()->setVerdict(item.target, verdict);
        }
    };
    return job;
}

Job prepareSpace(frmKelmar&, const BatchSnapshot& snapshot)
{
    SpaceRequest request;
    request.files = selectedArchives(snapshot);
    return jobOf(request, calculate_space);
}

Job prepareZipName(frmKelmar&, const BatchSnapshot& snapshot)
{
    ZipNameRequest request;
    request.files = selectedArchives(snapshot);
    return jobOf(request, to_zip_filename, false);
}

Job prepareRezip(frmKelmar& window, const BatchSnapshot& snapshot)
{
    RebuildRequest request;
    request.files = selectedArchives(snapshot);
    request.level = snapshot.options.sliCompression;
    request.readPassword = snapshot.options.unzipPassword();
    request.writePassword = snapshot.options.zipPassword();
    request.torrentZip = Options::isSet(snapshot.options.chkTorrentZip);
    if (request.torrentZip && !request.writePassword.isEmpty() && !request.files.empty()) {
        Dialogs::messageBox(&window, torrentZipPasswordNotice(), QStringLiteral("Whoops!"),
                            MsgIcon::Exclamation, MsgButtons::Ok);
        return std::nullopt;
    }
    return jobOf(request, [](const RebuildRequest& r, ProgressSink& sink, BatchQuestions& q) {
        return rezip_files(r, sink, q);
    });
}

// Refuses an empty ROM filter, then asks before anything is removed.
Job prepareRemoveNonRoms(frmKelmar& window, const BatchSnapshot& snapshot)
{
    const QString filter = snapshot.options.lblROMFilter;
    // An empty filter marks nothing as a ROM: going on would empty every archive.
    if (romFilterIsEmpty(filter)) {
        Dialogs::messageBox(&window, emptyRomFilterMessage(), QStringLiteral("Whoops!"),
                            MsgIcon::Exclamation, MsgButtons::Ok);
        return std::nullopt;
    }
    if (Dialogs::messageBox(&window, removeNonRomsQuestion(filter),
                            QStringLiteral("Are you sure?"), MsgIcon::Question,
                            MsgButtons::YesNo) != MsgAnswer::Yes)
        return std::nullopt;
    RebuildRequest request;
    request.files = selectedArchives(snapshot);
    request.romFilter = filter;
    request.readPassword = snapshot.options.unzipPassword();
    return jobOf(request, [](const RebuildRequest& r, ProgressSink& sink, BatchQuestions& q) {
        return remove_non_roms_from_zips(r, sink, q);
    });
}

// Says "Whoops!" when no archive is selected, else asks for the attributes.
Job prepareAttributes(frmKelmar& window, const BatchSnapshot& snapshot)
{
    RebuildRequest request;
    request.files = selectedArchives(snapshot);
    if (request.files.empty()) {
        Dialogs::messageBox(&window, QStringLiteral("You didn't select any zips to process!"),
                            QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
        return std::nullopt;
    }
    const int chosen = frmAttributes::ask(&window);
    if (chosen < 0)
        return std::nullopt;
    request.attributes = chosen;
    request.level = snapshot.options.sliCompression;
    request.readPassword = snapshot.options.unzipPassword();
    return jobOf(
        request,
        [](const RebuildRequest& r, ProgressSink& sink, BatchQuestions& q) {
            return change_attributes(r, sink, q);
        },
        false, false);
}

Job prepareDelete(frmKelmar& window, const BatchSnapshot& snapshot)
{
    if (Dialogs::messageBox(&window, deleteQuestion(), QStringLiteral("Confirmation"),
                            MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return std::nullopt;
    return jobOf(DeleteRequest{selectedFiles(snapshot)}, delete_files, false);
}

} // namespace

void registerArchiveOperations(frmKelmar& window)
{
    window.registerBatch(QStringLiteral("zip_files"), zipFilesPrepare());
    window.registerBatch(QStringLiteral("unzip_files"), prepareUnzip);
    window.registerBatch(QStringLiteral("test_zip_files"), prepareTest);
    window.registerBatch(QStringLiteral("calculate_space"), prepareSpace);
    window.registerBatch(QStringLiteral("to_zip_filename"), prepareZipName);
    window.registerBatch(QStringLiteral("convert_sub_folders_to_zips"), prepareFoldersToZips);
    window.registerBatch(QStringLiteral("rezip_files"), prepareRezip);
    window.registerBatch(QStringLiteral("remove_non_roms_from_zips"), prepareRemoveNonRoms);
    window.registerBatch(QStringLiteral("change_attributes"), prepareAttributes);
    window.registerBatch(QStringLiteral("delete_files"), prepareDelete);
}

std::optional<SummaryOf> summaryOfOperation(const QString& operationName, const Options& options)
{
    static const QHash<QString, BatchKind> kinds = {
        {QStringLiteral("zip_files"), BatchKind::Zip},
        {QStringLiteral("unzip_files"), BatchKind::Unzip},
        {QStringLiteral("test_zip_files"), BatchKind::Test},
        {QStringLiteral("calculate_space"), BatchKind::Space},
        {QStringLiteral("to_zip_filename"), BatchKind::ZipName},
        {QStringLiteral("convert_sub_folders_to_zips"), BatchKind::FoldersToZips},
        {QStringLiteral("rezip_files"), BatchKind::Rezip},
        {QStringLiteral("remove_non_roms_from_zips"), BatchKind::RemoveNonRoms},
        {QStringLiteral("change_attributes"), BatchKind::Attributes},
        {QStringLiteral("delete_files"), BatchKind::Delete},
    };
    const auto kind = kinds.constFind(operationName);
    if (kind != kinds.constEnd())
        return SummaryOf{kind.value(), Options::isSet(options.chkDeleteZIPFiles)};
    // The renames of the Rename menu and find and replace.
    return SummaryOf{BatchKind::Rename, false};
}
