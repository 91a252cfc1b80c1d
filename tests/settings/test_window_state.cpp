// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps between runs, read and written without a window.
#include "common/Scoped.h"
#include "settings/Favorites.h"
#include "settings/WindowState.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

using namespace kelmar;

TEST(WindowState, RoundTripsInTwipsAndReadsBadValuesAsAbsent)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("kelmar.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        WindowState::save(settings, QRect(10, 20, 600, 400), WindowState::Maximised,
                          QStringLiteral("/roms/nes"),
                          {QStringLiteral("*.nes"), QStringLiteral("a*")});
    }
    QSettings settings(ini, QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("form/width")).toString(), QStringLiteral("9000"));
    WindowState read = WindowState::load(settings);
    EXPECT_EQ(read.left, 10);
    EXPECT_EQ(read.height, 400);
    EXPECT_EQ(read.shown, WindowState::Maximised);
    EXPECT_EQ(read.lastFolder, QStringLiteral("/roms/nes"));
    EXPECT_EQ(read.filters, QStringList({"*.nes", "a*"}));

    // A hand-edited store: what does not convert keeps the window's own value.
    settings.setValue(QStringLiteral("form/left"), QStringLiteral("wide"));
    settings.setValue(QStringLiteral("form/windowstate"), QStringLiteral("7"));
    read = WindowState::load(settings);
    EXPECT_FALSE(read.left.has_value());
    EXPECT_EQ(read.shown, WindowState::Normal);
}

// The favourites stay sorted without regard to case, survive a round trip byte for byte and
// go to the settings folder when their own folder cannot be written.
TEST(Favorites, SortedCaseBlindAndSavedWhereTheyCanBe)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favorites.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("/roms/snes\r\n/ROMS/gb\n/roms/Atari\r\n");
    file.close();

    Favorites favourites;
    favourites.load(path);
    EXPECT_EQ(favourites.items(), QStringList({"/roms/Atari", "/ROMS/gb", "/roms/snes"}));
    EXPECT_EQ(favourites.indexOf(QStringLiteral("/roms/GB")), 1);
    favourites.add(QStringLiteral("/roms/café"));
    favourites.remove(QStringLiteral("/ROMS/SNES"));
    ASSERT_TRUE(favourites.save(path));
    Favorites again;
    again.load(path);
    EXPECT_EQ(again.items(), favourites.items());

    // A missing file is an empty list, and a folder that cannot take the file is not the end.
    Favorites none;
    none.load(dir.filePath(QStringLiteral("missing.txt")));
    EXPECT_TRUE(none.items().isEmpty());
    const kelmar::test::ScopedEnv config("XDG_CONFIG_HOME",
                                         dir.filePath(QStringLiteral("config")).toUtf8());
    EXPECT_TRUE(favourites.save(dir.filePath(QStringLiteral("no/such/folder/favorites.txt"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("config/kelmar/favorites.txt"))));
}
