// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"
#include "maintenance/RenamePlan.h"

#include <QString>

namespace kelmar {

// Through a free temporary name in folder and on to the new one: the way to change only the
// case of a name where the file system holds both spellings for one file. When the second step
// fails the first is undone, so the file never stays under the temporary name. *code is errno's
// value, or -1.
bool renameViaTemp(const QString& oldPath, const QString& newPath, QString folder, QString* error,
                   int* code);

// A rule that turns a selected file's name into its new one.
struct RenameRule
{
    enum class Kind {
        CapitalCase,
        LowerCase,
        UpperCase,
        InsertSpaces,
        RemoveSpaces,
        FindAndReplace,
        Manual, // each file's new name is asked for while the batch runs
    };
    Kind kind = Kind::LowerCase;
    QString find;    // FindAndReplace only
    QString replace; // FindAndReplace only

    // The name the rule gives; Manual gives the name itself.
    QString apply(const QString& name) const;
};

// What a rename batch is to do, fixed by the front end before it starts (find and replace's
// texts from its dialog or flags).
struct RenameRequest
{
    BatchFiles files; // the selected files, in list order
    RenameRule rule;
};

// The plan a rule makes of the request's files, without touching them (Manual: no file is
// to get a new name).
RenamePlan plan_renames(const RenameRequest& request);

// Renames the request's files by its rule. Every file is made owner-writable; each is renamed
// unless another file bears the new name, so no file is ever replaced. A failure is logged
// and the batch goes on; Stop ends it before the next file.
//
// One item per file taken up, in the order they were renamed: Done (target: the new path),
// Unchanged (the rule gives the name it has), Skipped (no new name was given), Failed (the
// name is taken, refused, or the rename failed; reason says why).
//
// The fixed rules log "Error renaming OLD! NEW already exists." for a taken name;
// InsertSpaces logs "Renamed OLD to NEW" for every file. FindAndReplace leaves a name without
// find alone and the log as it was when all goes well; a name taken by another file gets the
// "Warning." message and the batch goes on. Manual asks for each file's new name first
// ("Enter new name: ", "Rename"), removes the characters no name may hold, skips a cancelled
// or empty answer, and logs "Error! File PATH already exists." for a name that is taken, the
// file's own included.
BatchReport rename_files(const RenameRequest& request, ProgressSink& sink,
                         BatchQuestions& questions);

// The renames of the "Rename" menu: rename_files over files by the rule each names.
BatchReport to_capital_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport to_lower_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport to_upper_case(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport insert_spaces(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport remove_spaces(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport to_manual_name(const BatchFiles& files, ProgressSink& sink, BatchQuestions& questions);
BatchReport find_and_replace(const BatchFiles& files, const QString& find, const QString& replace,
                             ProgressSink& sink, BatchQuestions& questions);

} // namespace kelmar
