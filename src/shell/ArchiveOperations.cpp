#include "shell/ArchiveOperations.h"

#include "archive/ZipComponent.h"
#include "maintenance/CalculateSpace.h"
#include "maintenance/ChangeAttributes.h"
#include "maintenance/DeleteFiles.h"
#include "maintenance/RemoveNonRoms.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"
#include "maintenance/ToZipFilename.h"
#include "maintenance/UnzipFiles.h"
#include "names/basMain.h"
#include "shell/Dialogs.h"
#include "shell/ZipBatches.h"
#include "shell/frmAttributes.h"
#include "shell/frmKelmar.h"

using namespace kelmar;

namespace {

// An operation over the archive component, run with a component of its own.
template <typename Batch> frmKelmar::Operation withComponent(Batch batch)
{
    return [batch](BatchHost& host) {
        ZipComponent zip;
        batch(host, zip);
    };
}

// The unzip tab's request for the selected archives; where to extract is asked here, before
// the batch starts, unless the tab puts them beside the archives.
std::optional<frmKelmar::BatchJob> prepareUnzip(frmKelmar& window, const BatchSnapshot& snapshot)
{
    BatchFiles files;
    files.folder = snapshot.folder;
    for (qsizetype i = 0; i < snapshot.names.size(); ++i) {
        if (size_t(i) < snapshot.selected.size() && snapshot.selected[size_t(i)] &&
            basMain::HasZipExtension(snapshot.names.at(i)))
            files.names.append(snapshot.names.at(i));
    }
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

} // namespace

void registerArchiveOperations(frmKelmar& window)
{
    window.registerBatch(QStringLiteral("zip_files"), zipFilesPrepare());
    window.registerBatch(QStringLiteral("unzip_files"), prepareUnzip);
    window.registerOperation(QStringLiteral("test_zip_files"),
                             withComponent([](auto& h, auto& z) { test_zip_files(h, z); }));
    window.registerOperation(QStringLiteral("calculate_space"),
                             withComponent([](auto& h, auto& z) { calculate_space(h, z); }));
    window.registerOperation(QStringLiteral("to_zip_filename"),
                             withComponent([](auto& h, auto& z) { to_zip_filename(h, z); }));
    window.registerBatch(QStringLiteral("convert_sub_folders_to_zips"), prepareFoldersToZips);
    window.registerOperation(QStringLiteral("rezip_files"),
                             withComponent([](auto& h, auto& z) { rezip_files(h, z); }));
    window.registerOperation(
        QStringLiteral("remove_non_roms_from_zips"),
        withComponent([](auto& h, auto& z) { remove_non_roms_from_zips(h, z); }));
    window.registerOperation(
        QStringLiteral("change_attributes"), withComponent([&window](auto& h, auto& z) {
            change_attributes(h, z, [&window] { return frmAttributes::ask(&window); });
        }));
    window.registerOperation(QStringLiteral("delete_files"),
                             [](BatchHost& host) { delete_files(host); });
}
