// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FixPlan.h"

#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"

#include <QHash>
#include <QSet>

namespace kelmar::catalogue {

namespace {

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

bool usableFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && name != u"." && name != u"..";
}

int firstArchiveHome(const SetCheck& check, const std::vector<ScannedItem>& scan)
{
    for (int h : check.homes) {
        if (scan[size_t(h)].archive)
            return h;
    }
    return -1;
}

bool needsWork(SetStatus status)
{
    return status == SetStatus::Fixable || status == SetStatus::Incomplete;
}

class Planner
{
public:
    Planner(const Catalogue& c, const std::vector<ScannedItem>& scan, const Verification& v)
        : m_c(c), m_scan(scan), m_v(v), m_home(c.sets.size(), -1)
    {
        for (const ScannedItem& item : scan)
            m_pathAfter.push_back(item.path);
    }

    FixPlan plan();

private:
    void planRenames();
    void planSet(int s);
    void addCopy(FixStep& step, const Rom& rom, FileRef found);

    const Catalogue& m_c;
    const std::vector<ScannedItem>& m_scan;
    const Verification& m_v;
    std::vector<int> m_home;        // each set's archive once renames are done, or -1
    std::vector<QString> m_pathAfter; // each item's path once renames are done
    FixPlan m_plan;
};

// An archive named after no set, holding ROMs of one set that has no archive, takes that
// set's name: the one holding most of its ROMs.
void Planner::planRenames()
{
    QSet<int> claimed;
    for (int s = 0; s < int(m_c.sets.size()); ++s) {
        const SetCheck& check = m_v.sets[size_t(s)];
        m_home[size_t(s)] = firstArchiveHome(check, m_scan);
        if (m_home[size_t(s)] >= 0 || !needsWork(check.status))
            continue;
        QHash<int, int> held;
        for (const RomCheck& r : check.roms) {
            if (r.state == RomState::Elsewhere && m_scan[size_t(r.found.item)].archive &&
                m_c.findSet(m_scan[size_t(r.found.item)].containerName()) < 0)
                ++held[r.found.item];
        }
        int best = -1;
        for (auto it = held.begin(); it != held.end(); ++it) {
            if (!claimed.contains(it.key()) && (best < 0 || it.value() > held[best] ||
                                                (it.value() == held[best] && it.key() < best)))
                best = it.key();
        }
        if (best < 0)
            continue;
        const QString& name = m_c.sets[size_t(s)].name;
        const QString target = fs::withSeparator(folderOf(m_scan[size_t(best)].path)) + name +
                               QStringLiteral(".zip");
        if (!usableFileName(name) || fs::statOf(target, fs::Links::DoNotFollow)) {
            m_plan.notes.append(fs::printableName(m_scan[size_t(best)].path) +
                                QStringLiteral(" is not renamed to ") + fs::printableName(target) +
                                QStringLiteral(": the name is taken or not a file name"));
            continue;
        }
        claimed.insert(best);
        FixStep step;
        step.kind = FixStep::Kind::RenameArchive;
        step.set = s;
        step.archive = m_scan[size_t(best)].path;
        step.target = target;
        m_plan.steps.push_back(step);
        m_pathAfter[size_t(best)] = target;
        m_home[size_t(s)] = best;
    }
}

void Planner::addCopy(FixStep& step, const Rom& rom, FileRef found)
{
    const ScannedItem& item = m_scan[size_t(found.item)];
    const FoundFile& f = item.files[size_t(found.file)];
    EntryCopy copy;
    copy.source = m_pathAfter[size_t(found.item)];
    copy.fromArchive = item.archive;
    copy.index = f.index;
    copy.sourceName = f.name;
    copy.to = rom.name;
    copy.size = f.size;
    copy.crc = f.crc;
    step.copies.push_back(copy);
}

void Planner::planSet(int s)
{
    const CatalogueSet& set = m_c.sets[size_t(s)];
    const SetCheck& check = m_v.sets[size_t(s)];
    const int home = m_home[size_t(s)];
    FixStep step;
    step.set = s;
    QSet<QString> names; // the entry names the set's archive will hold
    QSet<int> okFiles;   // entries that already are a ROM under its own name
    if (home >= 0) {
        step.kind = FixStep::Kind::UpdateArchive;
        step.archive = m_pathAfter[size_t(home)];
        for (const FoundFile& f : m_scan[size_t(home)].files)
            names.insert(f.name);
        // Entries that are a ROM under its name already (also in an archive that is
        // about to take the set's name) stay as they are.
        for (size_t r = 0; r < check.roms.size(); ++r) {
            const FileRef at = check.roms[r].found;
            if (at.item == home &&
                m_scan[size_t(home)].files[size_t(at.file)].name == set.roms[r].name)
                okFiles.insert(at.file);
        }
    } else {
        step.kind = FixStep::Kind::CreateArchive;
    }
    QSet<int> renamed;
    for (size_t r = 0; r < set.roms.size(); ++r) {
        const Rom& rom = set.roms[r];
        const RomCheck& rc = check.roms[r];
        if (rc.state != RomState::Misnamed && rc.state != RomState::Elsewhere)
            continue;
        const FoundFile& f = m_scan[size_t(rc.found.item)].files[size_t(rc.found.file)];
        if (rc.found.item == home && f.name == rom.name) {
            continue;
        }
        if (names.contains(rom.name)) {
            m_plan.notes.append(set.name + u'/' + rom.name +
                                QStringLiteral(": the name is taken in the set's archive"));
            continue;
        }
        if (rc.found.item == home && !okFiles.contains(rc.found.file) &&
            !renamed.contains(rc.found.file)) {
            step.renames.push_back({f.index, f.name, rom.name});
            renamed.insert(rc.found.file);
            names.remove(f.name);
        } else {
            addCopy(step, rom, rc.found);
        }
        names.insert(rom.name);
    }
    if (step.renames.empty() && step.copies.empty())
        return;
    if (home < 0) {
        // Beside the folder that holds the set's ROMs loose, not inside it.
        const EntryCopy& first = step.copies.front();
        QString folder = folderOf(first.source);
        if (!first.fromArchive && fs::fileNameOf(folder) == set.name)
            folder = folderOf(folder);
        const QString target = fs::withSeparator(folder) + set.name + QStringLiteral(".zip");
        if (!usableFileName(set.name) || fs::statOf(target, fs::Links::DoNotFollow)) {
            m_plan.notes.append(fs::printableName(target) +
                                QStringLiteral(" is not made: the name is taken or not a file name"));
            return;
        }
        step.target = target;
    }
    m_plan.steps.push_back(step);
}

FixPlan Planner::plan()
{
    planRenames();
    for (int s = 0; s < int(m_c.sets.size()); ++s) {
        const SetCheck& check = m_v.sets[size_t(s)];
        if (!needsWork(check.status))
            continue;
        for (size_t r = 0; r < check.roms.size(); ++r) {
            if (check.roms[r].state == RomState::Damaged)
                m_plan.notes.append(m_c.sets[size_t(s)].name + u'/' + m_c.sets[size_t(s)].roms[r].name +
                                    QStringLiteral(" is damaged and stays as it is"));
        }
        planSet(s);
    }
    return std::move(m_plan);
}

} // namespace

FixPlan planFix(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                const Verification& verification)
{
    return Planner(catalogue, scan, verification).plan();
}

QStringList describePlan(const FixPlan& plan)
{
    QStringList lines;
    for (const FixStep& step : plan.steps) {
        switch (step.kind) {
        case FixStep::Kind::RenameArchive:
            lines.append(QStringLiteral("rename %1 to %2")
                             .arg(fs::printableName(step.archive), fs::fileNameOf(step.target)));
            continue;
        case FixStep::Kind::UpdateArchive:
            break;
        case FixStep::Kind::CreateArchive:
            lines.append(QStringLiteral("create %1").arg(fs::printableName(step.target)));
            break;
        }
        const QString archive = step.archive.isEmpty() ? step.target : step.archive;
        for (const EntryRename& r : step.renames)
            lines.append(QStringLiteral("rename %1/%2 to %3")
                             .arg(fs::printableName(archive), fs::printableName(r.from),
                                  fs::printableName(r.to)));
        for (const EntryCopy& c : step.copies)
            lines.append(QStringLiteral("copy %1%2 to %3/%4")
                             .arg(fs::printableName(c.source),
                                  c.fromArchive ? u'/' + fs::printableName(c.sourceName) : QString(),
                                  fs::printableName(archive), fs::printableName(c.to)));
    }
    return lines;
}

} // namespace kelmar::catalogue
