// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QJsonObject;

namespace kelmar {

// What became of one item of a batch (an archive, a file, a folder).
enum class ItemResult {
    Done,      // done as asked
    Unchanged, // nothing to do: already as asked
    Failed,    // could not be done; reason says why, the item is as it was
    Kept,      // done, but a source to delete was kept (reason says why)
    NotJudged, // could not be judged (test: encrypted without the password, unknown method)
    Skipped,   // left alone on purpose (hidden, not an archive, name taken)
};

struct ItemOutcome
{
    QString path;   // the item, as the batch met it
    ItemResult result = ItemResult::Done;
    QString reason; // empty for Done and Unchanged
    int code = 0;   // the archive component's result code, where one applies (ZipError.h)
    QString target; // where it went: the archive written, the new name, the ".bad" name
    QStringList sources; // what it was made from or made into (the files zipped, extracted)
    QStringList notes;   // what the log says beside (a file stored under another name)
    // Test Zips with the TorrentZip check: whether the archive holds the TorrentZip layout.
    std::optional<bool> torrentZip;
};

// How a batch ended as a whole.
enum class BatchEnd {
    Finished,        // every item was taken up
    NothingSelected, // there was nothing to do; the "Whoops!" notice was shown
    Cancelled,       // a question was answered No or Cancel before anything was done
    Stopped,         // Stop (or a signal) ended the batch before its last item
    EndProgram,      // an unexpected error was answered No: the program ends
};

// The one report every batch returns: an outcome per item, in the order the items were
// taken, and how the batch ended. The log lines are written while the batch runs; the
// command line's exit status and --json are made from this.
struct BatchReport
{
    std::vector<ItemOutcome> items;
    BatchEnd end = BatchEnd::Finished;
    quint64 bytes = 0; // "Calculate Space": the uncompressed bytes of the archives read

    int count(ItemResult result) const;
    int failedCount() const { return count(ItemResult::Failed); }
    bool stopped() const { return end == BatchEnd::Stopped; }
    // 0 all done, 1 an item failed or a source was kept, 3 stopped with nothing failed.
    int exitStatus() const;
    // Appends other's items; the end is the more serious of the two.
    void add(const BatchReport& other);
};

QString itemResultName(ItemResult result);
// {"path", "result", "reason", "code", "target"} with names shown as the terminal shows them.
QJsonObject toJson(const ItemOutcome& item);

} // namespace kelmar
