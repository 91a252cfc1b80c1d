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
    o.chkUseOriginalExtensions = 1;
    o.cmbFileCase = 2;
    o.chkDeleteFiles = 1;
    o.chkUseZIPPaths = 2;
    o.chkSaveZIPsinSameFolder = 1;
    o.sliCompression = 9;
    o.chkInfoFile = 1;
    o.txtInfoFile = QStringLiteral("/roms/info ü.txt");
    o.chkZIPPassword = 1;
    o.txtZIPPassword = QStringLiteral("secret");
    o.cmbUnzipCase = 1;
    o.chkRenameFiles = 1;
    o.chkExtractROMs = 0;
    o.chkDeleteZIPFiles = 1;
    o.chkIgnoreFolders = 0;
    o.chkUnziptoSameFolder = 1;
    o.chkUnzipPassword = 1;
    o.txtUnzipPassword = QStringLiteral("p=w;d \"x\"");
    o.chkZIPsToFolders = 1;
    o.lblROMFilter = QStringLiteral("*.NES;*.SMC");
    o.chkSound = 0;
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
    EXPECT_TRUE(text.contains(QStringLiteral("sliCompression=9")));
    EXPECT_FALSE(text.contains(QStringLiteral("secret")));
    EXPECT_FALSE(text.contains(QStringLiteral("txtZIPPassword")));

    auto s = SettingsStore::openSettingsFile(ini);
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_FALSE(r.radMultipleZIPs);
    EXPECT_TRUE(r.radOneZIP);
    EXPECT_EQ(r.chkUseOriginalExtensions, 1);
    EXPECT_EQ(r.cmbFileCase, 2);
    EXPECT_EQ(r.chkUseZIPPaths, 2);
    EXPECT_EQ(r.sliCompression, 9);
    EXPECT_EQ(r.txtInfoFile, o.txtInfoFile);
    EXPECT_EQ(r.chkZIPPassword, 1);
    EXPECT_TRUE(r.txtZIPPassword.isEmpty());
    EXPECT_EQ(r.cmbUnzipCase, 1);
    EXPECT_EQ(r.chkExtractROMs, 0);
    EXPECT_EQ(r.chkIgnoreFolders, 0);
    EXPECT_EQ(r.txtUnzipPassword, o.txtUnzipPassword);
    EXPECT_EQ(r.chkZIPsToFolders, 1);
    EXPECT_EQ(r.lblROMFilter, o.lblROMFilter);
    EXPECT_EQ(r.chkSound, 0);
}

TEST(SettingsStore, EmptyOrMissingStoreGivesDesignValues)
{
    QTemporaryDir dir;
    auto s = SettingsStore::openSettingsFile(dir.filePath(QStringLiteral("none.ini")));
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_TRUE(r.radMultipleZIPs);
    EXPECT_FALSE(r.radOneZIP);
    EXPECT_EQ(r.sliCompression, 6);
    EXPECT_EQ(r.chkExtractROMs, 1);
    EXPECT_EQ(r.chkIgnoreFolders, 1);
    EXPECT_EQ(r.chkSound, 1);
    EXPECT_EQ(r.chkDeleteFiles, 0);
}

TEST(SettingsStore, HandEditedValuesThatDoNotConvertOrAreOutOfRangeFallBackToDefaults)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("kelmar.ini"));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[zip%20settings]\nchkUseZIPPaths=1\nsliCompression=12\ncmbFileCase=abc\nchkDeleteFiles=-1\n"
            "radMultipleZIPs=maybe\n"
            "[unzip%20settings]\ncmbUnzipCase=3\nchkIgnoreFolders=2\n"
            "[other%20settings]\nchkSound=x\n");
    f.close();
    auto s = SettingsStore::openSettingsFile(ini);
    Options r = SettingsStore::loadOptions(*s);
    EXPECT_EQ(r.chkUseZIPPaths, 1); // the file is read at all
    EXPECT_EQ(r.sliCompression, 6);
    EXPECT_EQ(r.cmbFileCase, 0);
    EXPECT_EQ(r.chkDeleteFiles, 0);
    EXPECT_TRUE(r.radMultipleZIPs);
    EXPECT_EQ(r.cmbUnzipCase, 0);
    EXPECT_EQ(r.chkIgnoreFolders, 2); // greyed is in range
    EXPECT_EQ(r.chkSound, 1);
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
