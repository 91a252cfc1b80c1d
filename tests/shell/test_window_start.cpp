#include "WindowTest.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QDir>
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
