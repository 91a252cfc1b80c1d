// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <QDir>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

using namespace kelmar::test;

// "Open with Kelmar" on a folder must land there, not in the folder of the last run; without
// a folder, the last one is listed as before.
TEST(WindowStart, AGivenFolderIsListedInsteadOfTheLastOne)
{
    QTemporaryDir config, last, given;
    useTestSettings(config.path());
    QDir().mkpath(config.path() + QStringLiteral("/kelmar"));
    {
        QSettings ini(config.path() + QStringLiteral("/kelmar/kelmar.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("form/lastfolder"), last.path());
    }
    {
        frmKelmar window(given.path());
        ASSERT_TRUE(window.loaded());
        EXPECT_EQ(window.listFolder(), given.path());
    }
    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    EXPECT_EQ(window.listFolder(), last.path());
}

// With no place stored (a first start), the window opens in the middle of the screen: at 0,0 a
// window manager puts its title bar off the screen. A stored place is kept.
TEST(WindowStart, WithoutAStoredPlaceTheWindowIsCentred)
{
    QTemporaryDir config;
    useTestSettings(config.path());
    {
        frmKelmar window;
        ASSERT_TRUE(window.loaded());
        const QRect screen = window.screen()->availableGeometry();
        EXPECT_LE(std::abs(window.geometry().center().x() - screen.center().x()), 1);
        EXPECT_LE(std::abs(window.geometry().center().y() - screen.center().y()), 1);
    }
    QDir().mkpath(config.path() + QStringLiteral("/kelmar"));
    {
        QSettings ini(config.path() + QStringLiteral("/kelmar/kelmar.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("form/left"), 30 * 15);
        ini.setValue(QStringLiteral("form/top"), 40 * 15);
    }
    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    EXPECT_EQ(window.geometry().topLeft(), QPoint(30, 40));
}
