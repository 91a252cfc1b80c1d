// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace kelmar {

class ProgressSink;

// The renames after an unzip batch ("Rename Files after ZIP"), one file at a time in the
// batch's order, so the first file to claim a name has it.
//
// A new name is taken when any name in its folder (a file, a folder, a link, hidden or not)
// equals it without regard to case: collections end up on FAT and exFAT memory cards, where
// "GAME.NES" and "game.nes" are one name and one of the two files would be lost in the copy.
// Such a rename is skipped with a log line. A change of case alone is a real rename; where the
// file system ignores case it goes through a temporary name, as the window's renames do.
class UnzipRenamer
{
public:
    explicit UnzipRenamer(ProgressSink& log) : m_host(log) {}

    // Renames the file at path from to the path to, never over another file. False when the
    // file keeps its name; the log says why.
    bool rename(const QString& from, const QString& to);

private:
    // The name in folder that equals name without regard to case, other than except; empty
    // when there is none.
    QString holderOf(const QString& folder, const QString& name, const QString& except);
    QHash<QString, QStringList>& namesIn(const QString& folder);

    ProgressSink& m_host;
    // Folder (with its separator) -> case-folded name -> the names in it, read once a folder.
    QHash<QString, QHash<QString, QStringList>> m_folders;
};

} // namespace kelmar
