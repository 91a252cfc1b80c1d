// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/RenameOperations.h"

#include "maintenance/RenameFiles.h"
#include "shell/SelectedFiles.h"
#include "shell/frmKelmar.h"
#include "shell/frmReplace.h"

using namespace kelmar;

namespace {

// The renames end with the list re-read, and without a beep.
frmKelmar::BatchJob renameJob(RenameRequest request)
{
    frmKelmar::BatchJob job;
    job.run = [request = std::move(request)](ProgressSink& sink, BatchQuestions& questions) {
        return rename_files(request, sink, questions);
    };
    job.beep = false;
    return job;
}

frmKelmar::Prepare byRule(RenameRule::Kind kind)
{
    return [kind](frmKelmar&, const BatchSnapshot& snapshot) {
        return std::optional<frmKelmar::BatchJob>(
            renameJob({selectedFiles(snapshot), {kind, {}, {}}}));
    };
}

// Asks for the texts before the batch starts; Cancel starts nothing.
std::optional<frmKelmar::BatchJob> prepareFindAndReplace(frmKelmar& window,
                                                         const BatchSnapshot& snapshot)
{
    const auto texts = frmReplace::ask(&window);
    if (!texts)
        return std::nullopt;
    return renameJob(
        {selectedFiles(snapshot), {RenameRule::Kind::FindAndReplace, texts->find, texts->replace}});
}

} // namespace

void registerRenameOperations(frmKelmar& window)
{
    window.registerBatch(QStringLiteral("to_capital_case"), byRule(RenameRule::Kind::CapitalCase));
    window.registerBatch(QStringLiteral("to_lower_case"), byRule(RenameRule::Kind::LowerCase));
    window.registerBatch(QStringLiteral("to_upper_case"), byRule(RenameRule::Kind::UpperCase));
    window.registerBatch(QStringLiteral("insert_spaces"), byRule(RenameRule::Kind::InsertSpaces));
    window.registerBatch(QStringLiteral("remove_spaces"), byRule(RenameRule::Kind::RemoveSpaces));
    // The new names are asked for one by one while the batch runs.
    window.registerBatch(QStringLiteral("to_manual_name"), byRule(RenameRule::Kind::Manual));
    window.registerBatch(QStringLiteral("find_and_replace"), prepareFindAndReplace);
}
