// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <zip.h>

#include <memory>

namespace kelmar {

// Ownership of libzip's handles, so that every way out of a function lets go of them.
//
// An archive opened for writing is discarded (nothing written) unless it was committed
// with zip_close: call commitArchive, which hands the handle back to the guard when
// zip_close fails, so its error can still be read before it is discarded.
struct ZipArchiveDiscard
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchivePtr = std::unique_ptr<zip_t, ZipArchiveDiscard>;

// zip_close: 0 when the archive was written (the handle is gone), else libzip's error code;
// archive still owns the handle then, and zip_get_error(archive.get()) says why.
inline int commitArchive(ZipArchivePtr& archive)
{
    if (zip_close(archive.get()) != 0)
        return zip_error_code_zip(zip_get_error(archive.get()));
    archive.release(); // freed by zip_close
    return 0;
}

struct ZipFileClose
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
// An entry open for reading. Where the result of zip_fclose matters (it reports a CRC error),
// call zip_fclose(file.release()).
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

struct ZipSourceFree
{
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
// A source not yet handed to the archive; release() it once zip_file_add has taken it.
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceFree>;

} // namespace kelmar
