// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace kelmar::torrentzip {

// TorrentZip: a fixed zip layout in which the same files always give the same bytes,
// whatever wrote the archive before.
//
// Entries are sorted by their names compared in ASCII lower case; every entry is deflated
// (method 8) by zlib at level 9, window bits -15, memory level 8, default strategy, each as a
// stream of its own; local and central headers carry version needed 20 (45 for an entry
// whose sizes need zip64), flag 2 (plus bit 11 for a UTF-8 name that is not plain ASCII),
// time 48128 and date 8600, the CRC and sizes, no data descriptor, no extra field but zip64's
// where a value needs it; the central directory has version made by 0, no comments and
// attributes 0; the archive's comment is "TORRENTZIPPED-" and the CRC-32 of the central
// directory in eight upper-case hex digits. Zip64 end records are written only when the
// count, the directory's size or its offset need them.

constexpr quint16 kDosTime = 48128;
constexpr quint16 kDosDate = 8600;
constexpr int kCommentLength = 22; // "TORRENTZIPPED-" and eight hex digits

// Hands a piece of an entry's content on; returns a result code (ZipError.h).
using Sink = std::function<int(const char* data, qint64 length)>;

// One entry to write: its name as stored ('/' between folders; a folder's name ends in '/')
// and, for a file, what feeds its content to a sink from its start, as many times as it is
// asked (a result code; what went wrong is for the reader's owner to say).
struct Entry
{
    QByteArray name;
    qint64 size = 0; // expected; the content read decides
    std::function<int(const Sink& sink)> read;
};

// The layout's order: a before b.
bool nameBefore(const QByteArray& a, const QByteArray& b);
// Whether a name gets bit 11: UTF-8 and not plain ASCII.
bool isUtf8Name(const QByteArray& name);

// Sorts entries in the layout's order. Two names the layout takes for one (the same but
// for ASCII case) are refused: false, with *clash set to the second one.
bool sortEntries(std::vector<Entry>& entries, QByteArray* clash);

// What a written entry came to, for its read-back.
struct Written
{
    QByteArray name;
    quint32 crc = 0;
    qint64 size = 0;
};

// Writes the sorted entries as a TorrentZip archive through fd, from its start (the file must
// be empty). threads: how many may deflate at once; entries up to BufferBudget::kEntryCap are
// then read whole and deflated on other threads while the next are read, the bytes being
// the same either way. Returns a result code (ZipError.h); *detail says what went wrong when
// the writing failed (a reader's failure leaves it to the reader's owner).
int writeArchive(int fd, const std::vector<Entry>& entries, int threads,
                 std::vector<Written>* written, QString* detail);

// Whether the archive at fd holds exactly the layout, its comment naming its directory's
// CRC; reads the end records, the directory and the local headers, never the data. With
// names, the stored names in order go there (when it is TorrentZip).
bool isTorrentZip(int fd, std::vector<QByteArray>* names = nullptr);
// The same for the file at path; false when it cannot be read.
bool isTorrentZipFile(const QString& path, std::vector<QByteArray>* names = nullptr);

} // namespace kelmar::torrentzip
