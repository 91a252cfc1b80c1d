#include "maintenance/ZipOptions.h"

#include "names/basMain.h"

namespace kelmar {

namespace {

ZipNameCase nameCaseOf(int caseChoice)
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
    return request;
}

FoldersToZipsRequest foldersToZipsRequestFrom(const Options& options)
{
    FoldersToZipsRequest request;
    request.level = options.sliCompression;
    request.password = options.chkZIPPassword != 0 ? options.txtZIPPassword : QString();
    request.keepPaths = options.chkUseZIPPaths != 0;
    return request;
}

} // namespace kelmar
