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

} // namespace

void registerArchiveOperations(frmKelmar& window)
{
    window.registerBatch(QStringLiteral("zip_files"), zipFilesPrepare());
    window.registerOperation(QStringLiteral("unzip_files"),
                             withComponent([](auto& h, auto& z) { unzip_files(h, z); }));
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
