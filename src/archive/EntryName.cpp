// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/EntryName.h"

#include "fs/NativeName.h"

#include <cstring>

namespace kelmar {

namespace {

// Hosts whose names are the bytes the file system holds.
bool storesNativeBytes(zip_uint8_t system)
{
    return system == ZIP_OPSYS_UNIX || system == ZIP_OPSYS_OS_X;
}

} // namespace

QString entryNameOf(zip_t* archive, zip_uint64_t index)
{
    zip_uint8_t system = ZIP_OPSYS_DOS;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
        storesNativeBytes(system)) {
        // libzip has put a valid Unicode path field in the name's place already.
        if (const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW))
            return fs::nameFromNative(raw, qsizetype(std::strlen(raw)));
    }
    // Without the flag, libzip takes a name that is not valid UTF-8 for CP437.
    const char* name = zip_get_name(archive, index, 0);
    return name ? QString::fromUtf8(name) : QString();
}

QByteArray entryNameBytes(const QString& name, zip_flags_t* encoding)
{
    *encoding = fs::hasForeignBytes(name) ? ZIP_FL_ENC_GUESS : ZIP_FL_ENC_UTF_8;
    return fs::nativeName(name);
}

} // namespace kelmar
