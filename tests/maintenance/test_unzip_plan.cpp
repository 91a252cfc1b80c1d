// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of an unzip that need no disk: what a listing plans, whether an extracted archive
// may go, and what its files are renamed to.
#include "archive/EntryMask.h"
#include "maintenance/UnzipPlan.h"

#include <gtest/gtest.h>

#include <QHash>

using namespace kelmar;

namespace {

fs::FileIdentity fileAt(ino_t inode, qint64 size, qint64 mtime = 1)
{
    fs::FileIdentity id;
    id.device = 1;
    id.inode = inode;
    id.size = size;
    id.mtimeNs = mtime;
    id.ctimeNs = mtime;
    id.regular = true;
    return id;
}

struct DeletionRow
{
    const char* name;
    const char* mask;                         // EntryMask text
    QHash<QString, fs::FileIdentity> written; // the manifest: path -> as written
    QHash<QString, fs::FileIdentity> now;     // the disk now
    std::optional<fs::FileIdentity> archiveNow;
    bool synced;
    bool removed;
    const char* line;
};

const DeletionRow kDeletionRows[] = {
    {"all there",
     "",
     {{"/o/a.nes", fileAt(2, 10)}, {"/o/b.txt", fileAt(3, 4)}},
     {{"/o/a.nes", fileAt(2, 10)}, {"/o/b.txt", fileAt(3, 4)}},
     fileAt(1, 99),
     true,
     true,
     ""},
    {"one never written",
     "",
     {{"/o/a.nes", fileAt(2, 10)}},
     {{"/o/a.nes", fileAt(2, 10)}},
     fileAt(1, 99),
     true,
     false,
     "    not deleted: /o/b.txt was not extracted"},
    {"one replaced since",
     "*.nes",
     {{"/o/a.nes", fileAt(2, 10)}},
     {{"/o/a.nes", fileAt(7, 10)}},
     fileAt(1, 99),
     true,
     false,
     "    not deleted: /o/a.nes is no longer as it was extracted"},
    {"the filter chose nothing",
     "*.sfc",
     {},
     {},
     fileAt(1, 99),
     true,
     false,
     "    not deleted: nothing in it was selected to extract"},
    {"archive changed in place",
     "*.nes",
     {{"/o/a.nes", fileAt(2, 10)}},
     {{"/o/a.nes", fileAt(2, 10)}},
     fileAt(1, 120, 2),
     true,
     false,
     "    not deleted: another program changed it while it was being extracted"},
    {"another archive took its name",
     "*.nes",
     {{"/o/a.nes", fileAt(2, 10)}},
     {{"/o/a.nes", fileAt(2, 10)}},
     fileAt(9, 99),
     true,
     false,
     "    not deleted: another file has taken its name since it was extracted"},
    {"not flushed",
     "*.nes",
     {{"/o/a.nes", fileAt(2, 10)}},
     {{"/o/a.nes", fileAt(2, 10)}},
     fileAt(1, 99),
     false,
     false,
     "    not deleted: what was extracted could not be flushed to disk: "},
};

} // namespace

// Each row: the archive's plan and the disk as it is when the archive is to be deleted.
TEST(UnzipPlan, AnArchiveGoesOnlyWhenItIsUnchangedAndAllItGaveIsOnDiskAsWritten)
{
    const std::vector<ArchiveEntry> entries{{0, QStringLiteral("roms/a.nes"), 10},
                                            {1, QStringLiteral("b.txt"), 4},
                                            {2, QStringLiteral("roms/"), 0},
                                            {3, QStringLiteral("../evil.nes"), 5}};
    for (const DeletionRow& row : kDeletionRows) {
        SCOPED_TRACE(row.name);
        const UnzipPlan plan = planUnzip(QStringLiteral("/z/a.zip"), QStringLiteral("/o/"), entries,
                                         false, EntryMask(QLatin1String(row.mask)), {});
        ExtractManifest manifest;
        for (auto it = row.written.cbegin(); it != row.written.cend(); ++it)
            manifest.files.push_back({it.key(), QString(), it.value().size, it.value()});
        DeletionFacts facts;
        facts.before = fileAt(1, 99);
        facts.now = row.archiveNow;
        facts.missing = missingFromDisk(plan, manifest, [&](const QString& path) {
            return row.now.contains(path) ? std::optional(row.now.value(path)) : std::nullopt;
        });
        facts.synced = row.synced;
        facts.flushError = row.synced ? 0 : 5;
        const DeletionVerdict verdict = judgeDeletion(facts);
        EXPECT_EQ(verdict.remove, row.removed);
        const QLatin1String line(row.line);
        EXPECT_EQ(verdict.line.left(line.size()), line); // the errno's words follow
    }
}

TEST(UnzipPlan, PlanNamesWhatIsWrittenAndTheBatchArchivesItWouldOverwrite)
{
    const std::vector<ArchiveEntry> entries{{0, QStringLiteral("sub/A.nes"), 10},
                                            {1, QStringLiteral("B.ZIP"), 4},
                                            {2, QStringLiteral("../x.nes"), 5}};
    const UnzipPlan plan = planUnzip(QStringLiteral("/z/a.zip"), QStringLiteral("/z/"), entries,
                                     true, EntryMask(QString()), {QStringLiteral("/z/b.zip")});
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(plan.needed, 14);
    EXPECT_EQ(plan.overBatchArchive, QStringLiteral("/z/B.ZIP"));
    EXPECT_EQ(plan.keys(), (QStringList{QStringLiteral("/z/a.zip"), QStringLiteral("/z/sub/a.nes"),
                                        QStringLiteral("/z/b.zip")}));
}

TEST(UnzipPlan, RenamesTakeTheArchivesNameInTheChosenCaseWithoutADoubledExtension)
{
    const struct
    {
        const char* archive;
        const char* file;
        UnzipCase nameCase;
        const char* to;
    } rows[] = {
        {"/z/Pac.rom.zip", "/o/sub/pac.rom", UnzipCase::Upper, "/o/PAC.ROM"},
        {"/z/Other Name.zip", "/o/pac.rom", UnzipCase::Original, "/o/Other Name.rom"},
        {"/z/Zelda.NES.zip", "/o/z.nes", UnzipCase::Lower, "/o/zelda.nes"},
        {"/z/Info.zip", "/o/readme", UnzipCase::Original, "/o/Info"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.archive);
        ExtractManifest manifest;
        manifest.files.push_back({QLatin1String(row.file), QString(), 1, std::nullopt});
        const std::vector<RenamePair> pairs =
            renamesOf(manifest, QLatin1String(row.archive), QStringLiteral("/o/"), row.nameCase);
        ASSERT_EQ(pairs.size(), 1u);
        EXPECT_EQ(pairs[0].from, QLatin1String(row.file));
        EXPECT_EQ(pairs[0].to, QLatin1String(row.to));
    }
}
