// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/BatchReport.h"

#include "fs/NativeName.h"

#include <QJsonObject>

#include <algorithm>

namespace kelmar {

int BatchReport::count(ItemResult result) const
{
    return int(std::count_if(items.begin(), items.end(),
                             [result](const ItemOutcome& item) { return item.result == result; }));
}

int BatchReport::exitStatus() const
{
    if (count(ItemResult::Failed) > 0 || count(ItemResult::Kept) > 0)
        return 1;
    if (end == BatchEnd::Stopped)
        return 3;
    return 0;
}

void BatchReport::add(const BatchReport& other)
{
    items.insert(items.end(), other.items.begin(), other.items.end());
    bytes += other.bytes;
    end = std::max(end, other.end);
}

QString itemResultName(ItemResult result)
{
    switch (result) {
    case ItemResult::Done:
        return QStringLiteral("done");
    case ItemResult::Unchanged:
        return QStringLiteral("unchanged");
    case ItemResult::Failed:
        return QStringLiteral("failed");
    case ItemResult::Kept:
        return QStringLiteral("kept");
    case ItemResult::NotJudged:
        return QStringLiteral("not judged");
    case ItemResult::Skipped:
        return QStringLiteral("skipped");
    }
    return QString();
}

QJsonObject toJson(const ItemOutcome& item)
{
    QJsonObject o;
    o.insert(QStringLiteral("path"), fs::displayName(item.path));
    o.insert(QStringLiteral("result"), itemResultName(item.result));
    o.insert(QStringLiteral("reason"), fs::displayName(item.reason));
    o.insert(QStringLiteral("code"), item.code);
    o.insert(QStringLiteral("target"), fs::displayName(item.target));
    return o;
}

} // namespace kelmar
