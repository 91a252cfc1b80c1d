// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace kelmar {

// The favourite folders: a list kept in alphabetical order without regard to case, stored
// one folder a line (CR LF) in "favorites.txt".
class Favorites
{
public:
    // Where the list lives: beside the program where that folder is writable and is not the
    // folder the program is installed to, else in the settings folder. Tests point it
    // elsewhere.
    static QString defaultPath();
    static void setPathForTesting(const QString& path);

    // Reads the list at path; a missing file is an empty list.
    void load(const QString& path);
    // Writes the list to path through a temporary file; when that folder is not writable,
    // to the settings folder instead. False when neither could be written.
    bool save(const QString& path) const;

    const QStringList& items() const { return m_items; }
    // The position of folder in the list, compared without regard to case; -1 when absent.
    int indexOf(const QString& folder) const;
    void add(const QString& folder);
    void remove(const QString& folder);

private:
    QStringList m_items;
};

} // namespace kelmar
