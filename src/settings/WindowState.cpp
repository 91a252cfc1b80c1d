// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WindowState.h"

#include <QSettings>

namespace kelmar {

namespace {

std::optional<int> readInt(const QSettings& settings, const QString& key)
{
    bool ok = false;
    const int value = settings.value(key).toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> pixels(std::optional<int> twips)
{
    return twips ? std::optional<int>(*twips / WindowState::TwipsPerPixel) : std::nullopt;
}

} // namespace

WindowState WindowState::load(const QSettings& settings)
{
    WindowState s;
    s.left = pixels(readInt(settings, QStringLiteral("form/left")));
    s.top = pixels(readInt(settings, QStringLiteral("form/top")));
    s.width = pixels(readInt(settings, QStringLiteral("form/width")));
    s.height = pixels(readInt(settings, QStringLiteral("form/height")));
    const int shown = readInt(settings, QStringLiteral("form/windowstate")).value_or(Normal);
    s.shown = shown >= Normal && shown <= Maximised ? Shown(shown) : Normal;
    s.lastFolder = settings.value(QStringLiteral("form/lastfolder")).toString();
    for (int n = 1; n <= 9; ++n) {
        const QString entry = settings.value(QStringLiteral("saved filter/%1").arg(n)).toString();
        if (!entry.isEmpty())
            s.filters.append(entry);
    }
    return s;
}

void WindowState::save(QSettings& settings, const QRect& geometry, Shown shown,
                       const QString& lastFolder, const QStringList& filters)
{
    auto twips = [](int value) { return QString::number(value * TwipsPerPixel); };
    settings.setValue(QStringLiteral("form/windowstate"), QString::number(int(shown)));
    settings.setValue(QStringLiteral("form/left"), twips(geometry.x()));
    settings.setValue(QStringLiteral("form/top"), twips(geometry.y()));
    settings.setValue(QStringLiteral("form/width"), twips(geometry.width()));
    settings.setValue(QStringLiteral("form/height"), twips(geometry.height()));
    for (int i = 0; i < filters.size(); ++i)
        settings.setValue(QStringLiteral("saved filter/%1").arg(i + 1), filters.at(i));
    settings.setValue(QStringLiteral("form/lastfolder"), lastFolder);
}

} // namespace kelmar
