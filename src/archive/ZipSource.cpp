// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ZipSource.h"

#include "fs/NativeName.h"

#include <QFile>

namespace kelmar {

ZipSource ZipSource::file(const QString& path, const QString& entryName, OnClash onClash)
{
    return {path, fs::nativeName(path), entryName, onClash};
}

const StoredSource* CompressOutcome::find(const QString& path) const
{
    for (const StoredSource& s : stored) {
        if (s.path == path)
            return &s;
    }
    return nullptr;
}

} // namespace kelmar
