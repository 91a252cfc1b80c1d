// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace kelmar {

// One selected file of a rename batch: its name now, the name its rule gives it, and what the
// plan makes of it.
struct RenameStep
{
    enum class Kind {
        Rename,    // the new name is free
        ViaTemp,   // the new name is the file itself spelled otherwise (a file system that
                   // ignores case): renamed through a temporary name
        Unchanged, // the rule gives the name it has
        Skipped,   // no new name was given (a cancelled or empty answer)
        Self,      // the new name is the file itself, and this batch leaves such files alone
        Taken,     // another file bears the new name, or keeps it because it cannot move
        Clash,     // an earlier file of the batch takes the same new name
        Refused,   // no file can bear the new name here (reason says why)
        Missing,   // the file is not there to rename (reason says why)
    };
    int position = -1; // in the file list
    QString oldName;
    QString newName;
    Kind kind = Kind::Unchanged;
    QString holder; // Taken, Clash: the name of the file that has or takes the new name
    QString reason; // Refused, Missing
    // Filled in when the batch is run.
    bool renamed = false;
    QString error; // why a planned rename failed
};

// Every OLD -> NEW of a batch and its order, worked out before any file is touched, so a run
// can be shown first and a clash is found before it could cost a file.
struct RenamePlan
{
    QString folder;                // with its separator
    std::vector<RenameStep> steps; // in list order
    // Indexes into steps in the order they are carried out: list order, except that a file
    // whose new name is still held by another file of the batch waits until that one moved.
    std::vector<int> order;
};

// What to do when the new name turns out to be the file itself under another spelling.
enum class SameFileName { Rename, Keep };

// The new name of the file `name` at `position`; nothing when the file is to be skipped.
using NewNameOf = std::function<std::optional<QString>(int position, const QString& name)>;

// Plans the renames of `selected` (position and name) in folder. Reads the file system
// (what bears each name), changes nothing.
RenamePlan planRenames(const QString& folder, const std::vector<std::pair<int, QString>>& selected,
                       const NewNameOf& newNameOf, SameFileName sameFile);

} // namespace kelmar
