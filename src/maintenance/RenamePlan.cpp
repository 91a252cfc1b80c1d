// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RenamePlan.h"

#include "fs/FileIdentity.h"
#include "fs/NativeName.h"
#include "fs/PathStatus.h"
#include "names/basMain.h"

#include <QFile>
#include <QHash>
#include <QPair>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kelmar {

namespace {

using Kind = RenameStep::Kind;

// The longest name, in bytes, that the folder's file system takes.
long nameMax(const QString& folder)
{
    const long n = ::pathconf(fs::nativeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 ? n : 255;
}

bool holdsControl(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

std::optional<QString> refuse(const QString& oldName, const QString& name, long maxBytes)
{
    if (name.isEmpty())
        return QStringLiteral("the new name is empty");
    if (name == u"." || name == u"..")
        return QStringLiteral("\"%1\" is not a file name").arg(name);
    if (name.contains(u'/'))
        return QStringLiteral("a file name cannot hold \"/\"");
    if (name.contains(QChar(u'\0')))
        return QStringLiteral("a file name cannot hold a NUL character");
    // A line feed or a tab the user did not put there breaks every list the name appears in
    // (the log, a script's output); one the name had already stays.
    if (holdsControl(name) && !holdsControl(oldName))
        return QStringLiteral("a file name should not hold control characters");
    // The list does not show such a file: it would seem to vanish.
    if (name.startsWith(u'.'))
        return QStringLiteral("a name that starts with \".\" would hide the file");
    const qsizetype bytes = fs::nativeName(name).size();
    if (bytes > maxBytes)
        return QStringLiteral("the new name is %1 bytes long; this file system takes %2")
            .arg(bytes)
            .arg(maxBytes);
    return std::nullopt;
}

using IdKey = QPair<quint64, quint64>;
using Identity = std::optional<fs::FileIdentity>;

IdKey keyOf(const Identity& id)
{
    return {quint64(id->device), quint64(id->inode)};
}

// One file under two names (a file system that ignores case, a hard link), whatever its state.
bool oneFile(const Identity& a, const Identity& b)
{
    return a && b && a->device == b->device && a->inode == b->inode;
}

Identity identityOf(const QString& path)
{
    return fs::FileIdentity::ofPath(fs::nativeName(path));
}

// What the plan makes of one selected file on its own, before the others are looked at; *id
// is the file's identity (nothing when it is not there).
RenameStep stepOf(const QString& folder, int position, const QString& name,
                  const NewNameOf& newNameOf, long maxBytes, Identity* id)
{
    RenameStep step;
    step.position = position;
    step.oldName = name;
    const std::optional<fs::PathStatus> st = fs::statOf(folder + name, fs::Links::DoNotFollow);
    const bool exists = st.has_value();
    const int code = errno;
    *id = exists ? Identity(st->identity) : std::nullopt;
    // A name below the listed folder ("snes/Game.zip") is renamed within its own folder: the
    // rule sees the file's own name, and the folders before it stay as they are.
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString within = name.left(slash + 1);
    const QString own = name.mid(slash + 1);
    const std::optional<QString> newOwn = newNameOf(position, own);
    const std::optional<QString> newName =
        newOwn ? std::optional<QString>(within + *newOwn) : std::nullopt;
    step.newName = newName.value_or(QString());
    if (!exists) {
        step.kind = Kind::Missing;
        // Such a name was decoded with replacement characters, so these are not its bytes;
        // renaming by them would miss the file or make another.
        step.reason = name.contains(QChar::ReplacementCharacter)
                          ? QStringLiteral("its name is not valid UTF-8; it keeps it")
                          : QString::fromLocal8Bit(std::strerror(code));
    } else if (st->kind == fs::FileKind::Folder) {
        step.kind = Kind::Missing;
        step.reason = QStringLiteral("it is a folder now");
    } else if (!newName) {
        step.kind = Kind::Skipped;
    } else if (*newName == name) {
        step.kind = Kind::Unchanged;
    } else if (const auto why = refuse(own, *newOwn, maxBytes)) {
        step.kind = Kind::Refused;
        step.reason = *why;
    } else {
        step.kind = Kind::Rename;
    }
    return step;
}

// Gives each new name to the first file of the batch that claims it, and finds what holds it
// now: the file itself, another file of the batch that moves away first (the index it waits
// for goes in waitsFor), or a file that stays (Taken).
std::vector<int> claimNames(RenamePlan& plan, const std::vector<Identity>& ids,
                            SameFileName sameFile)
{
    // Which file moves away from its name: a new name it holds now is free once it has moved.
    QHash<IdKey, int> movers;
    for (int i = int(plan.steps.size()) - 1; i >= 0; --i) {
        if (plan.steps[std::size_t(i)].kind == Kind::Rename)
            movers.insert(keyOf(ids[std::size_t(i)]), i);
    }
    QHash<QString, int> claims;
    std::vector<int> waitsFor(plan.steps.size(), -1);
    for (int i = 0; i < int(plan.steps.size()); ++i) {
        RenameStep& step = plan.steps[std::size_t(i)];
        if (step.kind != Kind::Rename)
            continue;
        const auto claimed = claims.constFind(step.newName);
        if (claimed != claims.constEnd()) {
            step.kind = Kind::Clash;
            step.holder = plan.steps[std::size_t(claimed.value())].oldName;
            continue;
        }
        claims.insert(step.newName, i);
        const Identity holder = identityOf(plan.folder + step.newName);
        if (!holder)
            continue;
        if (oneFile(holder, ids[std::size_t(i)])) {
            step.kind = sameFile == SameFileName::Rename ? Kind::ViaTemp : Kind::Self;
            continue;
        }
        const int mover = movers.value(keyOf(holder), -1);
        if (mover >= 0 && mover != i) {
            waitsFor[std::size_t(i)] = mover;
            continue;
        }
        step.kind = Kind::Taken;
        step.holder = step.newName;
    }
    return waitsFor;
}

// List order, each waiting file right after the file it waits for. A file still waiting at
// the end waits for one that does not move (it is taken, or they wait for each other).
void orderSteps(RenamePlan& plan, const std::vector<int>& waitsFor)
{
    std::vector<char> placed(plan.steps.size(), 0);
    std::vector<std::vector<int>> waiters(plan.steps.size());
    for (int i = 0; i < int(plan.steps.size()); ++i) {
        if (waitsFor[std::size_t(i)] >= 0)
            waiters[std::size_t(waitsFor[std::size_t(i)])].push_back(i);
    }
    std::function<void(int)> place = [&](int i) {
        placed[std::size_t(i)] = 1;
        plan.order.push_back(i);
        if (plan.steps[std::size_t(i)].kind != Kind::Rename)
            return; // it keeps its name, so whoever waits for it stays waiting
        for (int w : waiters[std::size_t(i)])
            place(w);
    };
    for (int i = 0; i < int(plan.steps.size()); ++i) {
        if (waitsFor[std::size_t(i)] < 0)
            place(i);
    }
    for (int i = 0; i < int(plan.steps.size()); ++i) {
        if (placed[std::size_t(i)])
            continue;
        RenameStep& step = plan.steps[std::size_t(i)];
        step.kind = Kind::Taken;
        step.holder = plan.steps[std::size_t(waitsFor[std::size_t(i)])].oldName;
        plan.order.push_back(i);
    }
}

} // namespace

RenamePlan planRenames(const QString& folder, const std::vector<std::pair<int, QString>>& selected,
                       const NewNameOf& newNameOf, SameFileName sameFile)
{
    RenamePlan plan;
    plan.folder = basMain::WithSeparator(folder);
    const long maxBytes = nameMax(plan.folder);
    std::vector<Identity> ids(selected.size());
    plan.steps.reserve(selected.size());
    for (std::size_t i = 0; i < selected.size(); ++i)
        plan.steps.push_back(stepOf(plan.folder, selected[i].first, selected[i].second, newNameOf,
                                    maxBytes, &ids[i]));
    orderSteps(plan, claimNames(plan, ids, sameFile));
    return plan;
}

} // namespace kelmar
