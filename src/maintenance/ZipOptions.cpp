// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ZipOptions.h"

#include "names/basMain.h"

namespace kelmar {

namespace {

ZipNameCase nameCaseOf(CaseChoice caseChoice)
{
    switch (caseChoice) {
    case UseLowerCase:
        return ZipNameCase::Lower;
    case UseUpperCase:
        return ZipNameCase::Upper;
    default:
        return ZipNameCase::AsItIs;
    }
}

} // namespace

ZipRequest zipRequestFrom(const Options& options)
{
    ZipRequest request;
    request.mode = options.radOneZIP ? ZipRequest::Mode::OneArchive : ZipRequest::Mode::PerFile;
    request.keepExtension = Options::isSet(options.chkUseOriginalExtensions);
    request.nameCase = nameCaseOf(options.cmbFileCase);
    request.level = options.sliCompression;
    request.password = options.zipPassword();
    if (Options::isSet(options.chkInfoFile) && basMain::FileExists(options.txtInfoFile))
        request.infoFile = options.txtInfoFile;
    request.keepPaths = Options::isSet(options.chkUseZIPPaths);
    request.deleteSources = Options::isSet(options.chkDeleteFiles);
    request.torrentZip = Options::isSet(options.chkTorrentZip);
    return request;
}

FoldersToZipsRequest foldersToZipsRequestFrom(const Options& options)
{
    FoldersToZipsRequest request;
    request.level = options.sliCompression;
    request.password = options.chkZIPPassword != Check::Clear ? options.txtZIPPassword : QString();
    request.keepPaths = options.chkUseZIPPaths != Check::Clear;
    return request;
}

} // namespace kelmar
