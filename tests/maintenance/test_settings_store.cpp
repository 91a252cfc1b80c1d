// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace kelmar;

namespace {

QString readAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
}

} // namespace

TEST(SettingsStore, RoundTripThroughIniFileKeepsEveryOptionButTheZipPassword)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("kelmar.ini"));
    Options o;
    o.radMultipleZIPs = false;
    o.radOneZIP = true;
    o.chkUseOriginalExtensions = Check::Ticked;
    o.cmbFileCase = UseOriginalCase;
    o.chkDeleteFiles = Check::Ticked;
    o.chkUseZIPPaths = Check::Greyed;
    o.chkSaveZIPsinSameFolder = Check::Ticked;
    o.sliCompression = 9;
    o.chkInfoFile = Check::Ticked;
    o.txtInfoFile = QStringLiteral("/roms/info ü.txt");
    o.chkZIPPassword = Check::Ticked;
    o.txtZIPPassword = QStringLiteral("secret");
    o.cmbUnzipCase = UseUpperCase;
    o.chkRenameFiles = Check::Ticked;
    o.chkExtractROMs = Check::Clear;
    o.chkDeleteZIPFiles = Check::Ticked;
    o.chkIgnoreFolders = Check::Clear;
    o.chkUnziptoSameFolder = Check::Ticked;
    o.chkUnzipPassword = Check::Ticked;
    o.txtUnzipPassword = QStringLiteral("p=w;d \"x\"");
    o.chkZIPsToFolders = Check::Ticked;
    o.lblROMFilter = QStringLiteral("*.NES;*.SMC");
    o.chkSound = Check::Clear;
    o.chkTorrentZip = Check::Ticked;
    o.chkDetailsView = Check::Ticked;
    o.chkNaturalOrder = Check::Ticked;
    {
        auto s = SettingsStore::openSettingsFile(ini);
        SettingsStore::saveOptions(*s, o);
        s->sync();
        ASSERT_EQ(s->status(), QSettings::NoError);
    }
    const QString text = readAll(ini);
    EXPECT_TRUE(text.contains(QStringLiteral("radOneZIP=True")));
    EXPECT_TRUE(text.contains(QStringLiteral("radMultipleZIPs=False")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkZipsToFolders=1")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkUseZIPPaths=2")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkSound=0")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkTorrentZip=1")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkDetailsView=1")));
    EXPECT_TRUE(text.contains(QStringLiteral("chkNaturalOrder=1")));
    EXPECT_TRUE(text.contains(QStringLiteral("cmbFileCase=2")));
    EXPECT_TRUE(text.contains(QStringLiteral("cmbUnzipCase=1")));
    EXPECT_TRUE(text.contains(QStringLiteral("sliCompression=9")));
    EXPECT_FALSE(text.contains(QStringLiteral("secret")));
    EXPECT_FALSE(text.contains(QStringLiteral("txtZIPPassword")));

    auto s = SettingsStore::openSettingsFile(ini);
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_FALSE(r.radMultipleZIPs);
    EXPECT_TRUE(r.radOneZIP);
    EXPECT_EQ(r.chkUseOriginalExtensions, Check::Ticked);
    EXPECT_EQ(r.cmbFileCase, UseOriginalCase);
    EXPECT_EQ(r.chkUseZIPPaths, Check::Greyed);
    EXPECT_EQ(r.sliCompression, 9);
    EXPECT_EQ(r.txtInfoFile, o.txtInfoFile);
    EXPECT_EQ(r.chkZIPPassword, Check::Ticked);
    EXPECT_TRUE(r.txtZIPPassword.isEmpty());
    EXPECT_EQ(r.cmbUnzipCase, UseUpperCase);
    EXPECT_EQ(r.chkExtractROMs, Check::Clear);
    EXPECT_EQ(r.chkIgnoreFolders, Check::Clear);
    EXPECT_EQ(r.txtUnzipPassword, o.txtUnzipPassword);
    EXPECT_EQ(r.chkZIPsToFolders, Check::Ticked);
    EXPECT_EQ(r.lblROMFilter, o.lblROMFilter);
    EXPECT_EQ(r.chkSound, Check::Clear);
    EXPECT_EQ(r.chkTorrentZip, Check::Ticked);
    EXPECT_EQ(r.chkCheckTorrentZip, Check::Clear);
    EXPECT_EQ(r.chkDetailsView, Check::Ticked);
    EXPECT_EQ(r.chkNaturalOrder, Check::Ticked);
}

TEST(SettingsStore, EmptyOrMissingStoreGivesDesignValues)
{
    QTemporaryDir dir;
    auto s = SettingsStore::openSettingsFile(dir.filePath(QStringLiteral("none.ini")));
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_TRUE(r.radMultipleZIPs);
    EXPECT_FALSE(r.radOneZIP);
    EXPECT_EQ(r.sliCompression, 6);
    EXPECT_EQ(r.chkExtractROMs, Check::Ticked);
    EXPECT_EQ(r.chkIgnoreFolders, Check::Ticked);
    EXPECT_EQ(r.chkSound, Check::Ticked);
    EXPECT_EQ(r.chkDeleteFiles, Check::Clear);
    // The plain list in the old order, as before these choices existed.
    EXPECT_EQ(r.chkDetailsView, Check::Clear);
    EXPECT_EQ(r.chkNaturalOrder, Check::Clear);
}

TEST(SettingsStore, HandEditedValuesThatDoNotConvertOrAreOutOfRangeFallBackToDefaults)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("kelmar.ini"));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[zip%20settings]\nchkUseZIPPaths=1\nsliCompression=12\ncmbFileCase="
            "abc\nchkDeleteFiles=-1\n"
            "radMultipleZIPs=maybe\n"
            "[unzip%20settings]\ncmbUnzipCase=3\nchkIgnoreFolders=2\n"
            "[other%20settings]\nchkSound=x\n");
    f.close();
    auto s = SettingsStore::openSettingsFile(ini);
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_EQ(r.chkUseZIPPaths, Check::Ticked); // the file is read at all
    EXPECT_EQ(r.sliCompression, 6);
    EXPECT_EQ(r.cmbFileCase, UseLowerCase);
    EXPECT_EQ(r.chkDeleteFiles, Check::Clear);
    EXPECT_TRUE(r.radMultipleZIPs);
    EXPECT_EQ(r.cmbUnzipCase, UseLowerCase);
    EXPECT_EQ(r.chkIgnoreFolders, Check::Greyed); // greyed is in range
    EXPECT_EQ(r.chkSound, Check::Ticked);
}

TEST(SettingsStore, BothRadioButtonsStoredTrueLetsTheOneReadLastWin)
{
    QTemporaryDir dir;
    auto s = SettingsStore::openSettingsFile(dir.filePath(QStringLiteral("k.ini")));
    s->setValue(QStringLiteral("zip settings/radMultipleZIPs"), QStringLiteral("True"));
    s->setValue(QStringLiteral("zip settings/radOneZIP"), QStringLiteral("True"));
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_TRUE(r.radOneZIP);
    EXPECT_FALSE(r.radMultipleZIPs);
}
