#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace kelmar {

// One entry as list reports it: the name libzip would give and the uncompressed size.
struct ListedEntry
{
    QString name;
    qint64 size = 0;

    bool operator==(const ListedEntry& other) const
    {
        return size == other.size && name == other.name;
    }
    bool operator!=(const ListedEntry& other) const { return !(*this == other); }
};

// Lists a plain archive by reading its end record and central directory directly: one read
// of the last 4 KiB, which holds the whole directory of most ROM archives, and a second read
// for a larger directory, where libzip's zip_open reads and scans the last 64 KiB of every
// archive. Calculate Space lists tens of thousands of archives in a row, most of them plain.
//
// Answers only when the listing is certain to be the one libzip gives: no archive comment, no
// zip64 record, a single disk, the directory right before the end record, every entry well
// formed with 32-bit sizes and a name libzip takes as ASCII (so its encoding guess, CP437
// conversion and the Info-ZIP Unicode path field never come in), and nothing libzip would
// refuse when it opens the archive. Otherwise, and on any error, it returns nothing and the
// caller asks libzip, which also words the errors. It answers for a whole archive or not at all.
std::optional<std::vector<ListedEntry>> readCentralDirectory(const QString& path);

} // namespace kelmar
