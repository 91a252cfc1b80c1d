#pragma once

#include "maintenance/RenamePlan.h"

#include <QString>

namespace kelmar {

class BatchHost;

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
        FindAndReplace
    };
    Kind kind = Kind::LowerCase;
    QString find;    // FindAndReplace only
    QString replace; // FindAndReplace only

    QString apply(const QString& name) const;
};

// What a rename batch did: its plan, each step marked renamed or with its error.
struct RenameReport
{
    RenamePlan plan;
    bool stopped = false;

    int renamed() const;
    // Files that were to get a new name and kept their old one (taken, refused, failed).
    int failed() const;
};

// The plan a rule makes of the host's selected files, without touching them.
RenamePlan plan_renames(BatchHost& host, const RenameRule& rule);

// The five fixed renames of the "Rename" menu. Every selected file is made owner-writable;
// each is renamed by its rule unless another file bears the new name (logged: "Error renaming
// OLD! NEW already exists."), so no file is ever replaced. insert_spaces logs "Renamed OLD to
// NEW" for every selected file. A failure is logged and the batch goes on; the list is
// refreshed and recounted at the end.
RenameReport to_capital_case(BatchHost& host);
RenameReport to_lower_case(BatchHost& host);
RenameReport to_upper_case(BatchHost& host);
RenameReport insert_spaces(BatchHost& host);
RenameReport remove_spaces(BatchHost& host);
// Any of the above, by its rule; also find and replace.
RenameReport rename_files(BatchHost& host, const RenameRule& rule);

// "Manually...": asks for each selected file's new name ("Enter new name: ", "Rename"),
// removes the characters no name may hold, skips a cancelled or empty answer, and logs
// "Error! File PATH already exists." for a name that is taken, the file's own included.
RenameReport to_manual_name(BatchHost& host);

// "Find and Replace...": every occurrence of find in each selected name replaced by replace.
// A name without find is left alone; a name taken by another file gets the "Warning." message
// and the batch goes on.
RenameReport find_and_replace(BatchHost& host, const QString& find, const QString& replace);

} // namespace kelmar
