// SPDX-License-Identifier: GPL-3.0-or-later
// Names that are not UTF-8 keep every byte from the folder listing to the system call.
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

using namespace kelmar;

namespace {

struct Case
{
    const char* loss; // what would be lost without an exact round trip
    QByteArray bytes;
    QString shown;
};

} // namespace

TEST(NativeName, EveryByteOfANameSurvivesAndShowsReadably)
{
    const Case cases[] = {
        {"Latin-1 name from old Windows unreachable", QByteArray("caf\xe9.zip"),
         QStringLiteral("caf\uFFFD.zip")},
        {"valid UTF-8 altered", QByteArray("Pok\xc3\xa9mon.zip"), QStringLiteral("Pokémon.zip")},
        {"character beyond U+FFFF taken for an escaped byte", QByteArray("\xf0\x90\x82\x80.nes"),
         QString::fromUcs4(U"\U00010080.nes")},
        {"overlong slash turned into a real one",
         QByteArray("a\xc0\xaf"
                    "b"),
         QStringLiteral("a\uFFFD\uFFFDb")},
        {"encoded surrogate merged with an escape", QByteArray("\xed\xb2\x80"),
         QStringLiteral("\uFFFD\uFFFD\uFFFD")},
        {"truncated sequence at the end dropped", QByteArray("game\xe2\x82"),
         QStringLiteral("game\uFFFD\uFFFD")},
    };
    for (const Case& c : cases) {
        const QString name = fs::nameFromNative(c.bytes);
        EXPECT_EQ(fs::nativeName(name), c.bytes) << c.loss;
        EXPECT_EQ(fs::displayName(name), c.shown) << c.loss;
        EXPECT_EQ(fs::hasForeignBytes(name), name != c.shown) << c.loss;
    }
}

TEST(NativeName, FolderListingFindsAndReopensNamesQtCannotRead)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const QByteArray& name :
         {QByteArray("caf\xe9.zip"), QByteArray("plain.zip"), QByteArray(".hidden.zip")}) {
        const int fd = ::open((folder + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    QStringList names;
    ASSERT_TRUE(fs::listFolderFiles(dir.path(), &names));
    names.sort();
    ASSERT_EQ(names.size(), 2) << "hidden files stay out, foreign names stay in";
    EXPECT_EQ(fs::nativeName(names.at(0)), QByteArray("caf\xe9.zip"));
    EXPECT_TRUE(fs::isFilePath(dir.path() + u'/' + names.at(0)));
    EXPECT_FALSE(fs::isFolderPath(dir.path() + u'/' + names.at(0)));
}
