// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/UnzipPlan.h"

#include "archive/EntryMask.h"
#include "archive/ZipExtractor.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "names/NameRules.h"
#include "names/basMain.h"

#include <QHash>

#include <cerrno>

namespace kelmar {

QStringList UnzipPlan::keys() const
{
    QStringList keys{archive.toCaseFolded()};
    for (const PlannedFile& file : files)
        keys.append(file.path.toCaseFolded());
    return keys;
}

UnzipPlan planUnzip(const QString& archive, const QString& target,
                    const std::vector<ArchiveEntry>& entries, bool keepFolderNames,
                    const EntryMask& mask, const QSet<QString>& batchArchives)
{
    UnzipPlan plan;
    plan.archive = archive;
    plan.target = target;
    for (const ArchiveEntry& entry : entries) {
        const QString at = ZipExtractor::extractedPath(target, entry.name, keepFolderNames);
        if (at.isEmpty() || !mask.selects(entry.name))
            continue;
        plan.needed += entry.size;
        plan.files.push_back({entry.name, at, entry.size});
        if (plan.overBatchArchive.isEmpty() && batchArchives.contains(at.toCaseFolded()))
            plan.overBatchArchive = at;
    }
    return plan;
}

QString missingFromDisk(const UnzipPlan& plan, const ExtractManifest& manifest,
                        const IdentityOf& identityOf)
{
    if (plan.files.empty())
        return QStringLiteral("nothing in it was selected to extract");
    // Several entries may name one file: the last size counts (a differing one failed).
    QHash<QString, qint64> expected;
    for (const PlannedFile& file : plan.files)
        expected.insert(file.path, file.size);
    QHash<QString, const ExtractedFile*> written;
    for (const ExtractedFile& file : manifest.files)
        written.insert(file.path, &file);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const ExtractedFile* file = written.value(it.key());
        if (!file)
            return it.key() + QStringLiteral(" was not extracted");
        const std::optional<fs::FileIdentity> now = identityOf(it.key());
        const std::optional<fs::FileIdentity>& then = file->identity;
        if (!now || !then || !now->regular || now->size != it.value() || now->size != then->size ||
            now->device != then->device || now->inode != then->inode)
            return it.key() + QStringLiteral(" is no longer as it was extracted");
    }
    return QString();
}

DeletionVerdict judgeDeletion(const DeletionFacts& facts)
{
    const auto keep = [](const QString& line) { return DeletionVerdict{false, line}; };
    if (!facts.now)
        return keep(QStringLiteral("    could not be deleted: ") + fs::systemError(ENOENT));
    if (!facts.before || facts.now->device != facts.before->device ||
        facts.now->inode != facts.before->inode) {
        // An entry of its own with the archive's name, or another archive copied over it
        // while the batch ran: what is there now was never extracted.
        return keep(QStringLiteral("    not deleted: another file has taken its name since it "
                                   "was extracted"));
    }
    if (*facts.now != *facts.before) {
        // Written in place by another program (an entry appended, say) since it was opened:
        // what it holds now was not all extracted.
        return keep(QStringLiteral("    not deleted: another program changed it while it was "
                                   "being extracted"));
    }
    if (!facts.missing.isEmpty())
        return keep(QStringLiteral("    not deleted: ") + facts.missing);
    if (!facts.synced)
        return keep(QStringLiteral("    not deleted: what was extracted could not be flushed "
                                   "to disk: ") +
                    fs::systemError(facts.flushError));
    return {true, QString()};
}

namespace {

// One character at a time, so that a byte that is not UTF-8 stays that byte.
QString inCase(const QString& name, UnzipCase nameCase)
{
    switch (nameCase) {
    case UnzipCase::Lower:
        return NameRules::lowerCase(name);
    case UnzipCase::Upper:
        return NameRules::upperCase(name);
    case UnzipCase::Original:
        break;
    }
    return name;
}

} // namespace

std::vector<RenamePair> renamesOf(const ExtractManifest& manifest, const QString& archive,
                                  const QString& folder, UnzipCase nameCase)
{
    // The new name in the chosen case, in the folder the file was extracted to (whose own
    // name keeps its case: another case would be another folder here).
    const QString base = basMain::GetFileName(basMain::StripExtension(archive));
    std::vector<RenamePair> pairs;
    for (const ExtractedFile& file : manifest.files) {
        QString name = inCase(base + basMain::GetExtension(file.path), nameCase);
        const QString extension = basMain::GetExtension(name);
        if (!extension.isEmpty() && name.endsWith(extension + extension))
            name.chop(extension.size());
        pairs.push_back({file.path, basMain::WithSeparator(folder) + name, file.identity});
    }
    return pairs;
}

} // namespace kelmar
