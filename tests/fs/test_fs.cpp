// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Tools.h"
#include "fs/FileIdentity.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"

#include <tuple>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

// Each row is a name a rename must not take: whatever bears it stays as it was, and so does
// the file being renamed.
TEST(RenameNoReplace, NeverTakesANameThatIsInUse)
{
    struct Case
    {
        const char* loss; // what replacing would lose
        void (*occupy)(const QString& path);
    };
    const Case cases[] = {
        {"a file of that name", [](const QString& p) { writeFile(p, "precious"); }},
        {"a hidden file of that name", [](const QString& p) { writeFile(p, "hidden"); }},
        {"a folder of that name", [](const QString& p) { QDir().mkpath(p + "/inside"); }},
        {"a link that points nowhere",
         [](const QString& p) {
             ASSERT_EQ(::symlink("nowhere", QFile::encodeName(p).constData()), 0);
         }},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("new.nes"));
        const bool hidden = QByteArray(c.loss).contains("hidden");
        const QString to =
            dir.filePath(hidden ? QStringLiteral(".taken") : QStringLiteral("taken"));
        writeFile(from, "mine");
        c.occupy(to);
        const auto before = fs::FileIdentity::ofPath(fs::nativeName(to));
        QString error;
        EXPECT_FALSE(fs::renameNoReplace(from, to, &error)) << c.loss;
        EXPECT_FALSE(error.isEmpty()) << c.loss;
        EXPECT_EQ(fs::FileIdentity::ofPath(fs::nativeName(to)), before) << c.loss;
        EXPECT_EQ(readFile(from), QByteArray("mine")) << c.loss;
    }
}

TEST(RenameNoReplace, MovesToAFreeNameAndTheFileKeepsItsIdentity)
{
    QTemporaryDir dir;
    const QString from = dir.filePath(QStringLiteral("a.nes"));
    const QString to = dir.filePath(QStringLiteral("A.NES"));
    writeFile(from, "rom");
    const auto id = fs::FileIdentity::ofPath(fs::nativeName(from));
    ASSERT_TRUE(id);
    ASSERT_TRUE(fs::renameNoReplace(from, to));
    // The same file with the same content; a rename changes only its status-change time.
    const auto moved = fs::FileIdentity::ofPath(fs::nativeName(to));
    ASSERT_TRUE(moved);
    EXPECT_EQ(std::tie(moved->device, moved->inode, moved->size, moved->mtimeNs),
              std::tie(id->device, id->inode, id->size, id->mtimeNs));
    EXPECT_FALSE(fs::FileIdentity::ofPath(fs::nativeName(from)));
    // A file written anew under the old name is another file.
    writeFile(from, "rom");
    EXPECT_NE(fs::FileIdentity::ofPath(fs::nativeName(from)), id);
}

TEST(Path, OneSeparatorBeforeAName)
{
    EXPECT_EQ(fs::withSeparator(QStringLiteral("/roms")), QStringLiteral("/roms/"));
    EXPECT_EQ(fs::withSeparator(QStringLiteral("/roms/")), QStringLiteral("/roms/"));
    EXPECT_EQ(fs::withSeparator(QStringLiteral("/")), QStringLiteral("/"));
}
