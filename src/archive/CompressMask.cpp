// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/CompressMask.h"

#include "archive/EntryMask.h"
#include "archive/ZipError.h"
#include "fs/Path.h"
#include "names/Wildcard.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace kelmar {

int expandCompressMask(const QString& mask, bool keepFolderNames, bool processSubfolders,
                       const QString& archivePath, std::vector<ZipSource>* sources, QString* detail)
{
    const QString archiveAbsolute = QFileInfo(archivePath).absoluteFilePath();
    QStringList excludes;
    for (const QString& line : EntryMask::lines(mask)) {
        if (line.startsWith(u'<') && line.size() > 1)
            excludes.append(line.mid(1));
    }
    auto excluded = [&](const QString& relative) {
        for (const QString& p : excludes) {
            if (wildcardMatch(p, relative) || wildcardMatch(p, fs::fileNameOf(relative)))
                return true;
        }
        return false;
    };
    auto add = [&](const QFileInfo& info, const QString& entry) {
        if (info.absoluteFilePath() != archiveAbsolute)
            sources->push_back(
                ZipSource::file(info.absoluteFilePath(), entry, ZipSource::OnClash::Rename));
    };

    for (const QString& line : EntryMask::lines(mask)) {
        if (line.startsWith(u'<'))
            continue;
        const QString last = fs::fileNameOf(line);
        const QFileInfo direct(line);
        if (!hasWildcards(last) && direct.isFile()) {
            if (excluded(last))
                continue;
            QString entry = last;
            if (keepFolderNames) {
                entry = direct.absoluteFilePath();
                while (entry.startsWith(u'/'))
                    entry.remove(0, 1);
            }
            add(direct, entry);
            continue;
        }
        // A folder (with "/*" or a pattern as its last component, or named alone).
        QString folder = line;
        QString pattern = QStringLiteral("*");
        if (hasWildcards(last)) {
            folder = line.left(line.size() - last.size());
            pattern = last;
        }
        if (!QFileInfo(folder).isDir()) {
            *detail = line + QStringLiteral(": file not found");
            return ZipFileNotFound;
        }
        const QDir root(folder);
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                        processSubfolders ? QDirIterator::Subdirectories
                                          : QDirIterator::NoIteratorFlags);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isSymLink() && !info.isFile())
                continue;
            const QString relative = root.relativeFilePath(path);
            if (!wildcardMatch(pattern, fs::fileNameOf(relative)) || excluded(relative))
                continue;
            add(info, keepFolderNames ? relative : fs::fileNameOf(relative));
        }
    }
    return ZipOk;
}

} // namespace kelmar
