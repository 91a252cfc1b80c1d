// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

namespace kelmar {

// What the window keeps between runs besides the options: its place and size (stored in
// twips, 15 to a pixel), whether it was minimised or maximised, the listed folder and the
// typed filters.
struct WindowState
{
    static constexpr int TwipsPerPixel = 15;

    enum Shown { Normal = 0, Minimised = 1, Maximised = 2 };

    // In pixels; a value missing from the store, or one that does not convert, is absent and
    // the window keeps its own.
    std::optional<int> left, top, width, height;
    Shown shown = Normal;
    QString lastFolder;
    QStringList filters; // the typed filters, "*" excluded

    static WindowState load(const QSettings& settings);
    // Geometry is the window's normal-state geometry.
    static void save(QSettings& settings, const QRect& geometry, Shown shown,
                     const QString& lastFolder, const QStringList& filters);
};

} // namespace kelmar
