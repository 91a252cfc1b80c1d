// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ZipBatches.h"

#include "archive/ZipComponent.h"
#include "maintenance/RebuildArchive.h"
#include "maintenance/ZipOptions.h"
#include "shell/Dialogs.h"

#include <memory>

namespace kelmar {

namespace {

BatchFiles selectedFiles(const BatchSnapshot& snapshot)
{
    BatchFiles files{snapshot.folder, {}};
    for (int i = 0; i < int(snapshot.names.size()); ++i) {
        if (size_t(i) < snapshot.selected.size() && snapshot.selected[size_t(i)])
            files.names.append(snapshot.names.at(i));
    }
    return files;
}

// Where the files go: the archive, or the folder of the per-file archives. False when the
// user cancelled.
bool askWhereTo(frmKelmar& window, const Options& options, ZipRequest& request,
                QString& lastSaveName)
{
    if (request.mode == ZipRequest::Mode::OneArchive) {
        const QString path =
            Dialogs::saveFileName(&window, QStringLiteral("Where do you want to ZIP the files to?"),
                                  QStringLiteral("Zip Files|*.zip"), lastSaveName)
                .value_or(QString());
        if (path.isEmpty())
            return false;
        lastSaveName = path;
        request.archive = path;
        return true;
    }
    if (Options::isSet(options.chkSaveZIPsinSameFolder))
        return true;
    request.targetFolder =
        Dialogs::browseForFolder(&window,
                                 QStringLiteral("Select the folder you store the ZIP files in."))
            .value_or(QString());
    return !request.targetFolder.isEmpty();
}

std::optional<frmKelmar::BatchJob> prepareZipFiles(frmKelmar& window, const BatchSnapshot& snapshot,
                                                   QString& lastSaveName)
{
    ZipRequest request = zipRequestFrom(snapshot.options);
    request.files = selectedFiles(snapshot);
    // The log is cleared before anything is asked, whatever the answer.
    window.clear_log();
    if (nothingToZip(request)) {
        Dialogs::messageBox(&window, nothingToZipNotice(), QStringLiteral("Whoops!"),
                            MsgIcon::Exclamation, MsgButtons::Ok);
        return std::nullopt;
    }
    if (request.torrentZip && !request.password.isEmpty()) {
        Dialogs::messageBox(&window, torrentZipPasswordNotice(), QStringLiteral("Whoops!"),
                            MsgIcon::Exclamation, MsgButtons::Ok);
        return std::nullopt;
    }
    if (!askWhereTo(window, snapshot.options, request, lastSaveName))
        return std::nullopt;
    frmKelmar::BatchJob job;
    job.run = [request](ProgressSink& sink, BatchQuestions& questions) {
        ZipComponent zip;
        return zip_files(request, sink, questions, zip);
    };
    return job;
}

} // namespace

frmKelmar::Prepare zipFilesPrepare()
{
    auto lastSaveName = std::make_shared<QString>();
    return [lastSaveName](frmKelmar& window, const BatchSnapshot& snapshot) {
        return prepareZipFiles(window, snapshot, *lastSaveName);
    };
}

std::optional<frmKelmar::BatchJob> prepareFoldersToZips(frmKelmar& window,
                                                        const BatchSnapshot& snapshot)
{
    FoldersToZipsRequest request = foldersToZipsRequestFrom(snapshot.options);
    request.folder = snapshot.treeFolder;
    if (subFoldersToZip(request.folder).isEmpty()) {
        Dialogs::messageBox(&window, noSubFoldersNotice(), QStringLiteral("Whoops!"),
                            MsgIcon::Information, MsgButtons::Ok);
        return std::nullopt;
    }
    const MsgAnswer answer =
        Dialogs::messageBox(&window, deleteFoldersQuestion(request.folder), foldersToZipsTitle(),
                            MsgIcon::Question, MsgButtons::YesNoCancel);
    if (answer != MsgAnswer::Yes && answer != MsgAnswer::No)
        return std::nullopt;
    request.deleteFolders = answer == MsgAnswer::Yes;
    frmKelmar::BatchJob job;
    job.run = [request](ProgressSink& sink, BatchQuestions& questions) {
        ZipComponent zip;
        return convert_sub_folders_to_zips(request, sink, questions, zip);
    };
    // It never beeped; the tree shows the folders gone.
    job.beep = false;
    job.refreshTree = request.deleteFolders;
    return job;
}

} // namespace kelmar
