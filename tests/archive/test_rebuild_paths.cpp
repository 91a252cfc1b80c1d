// SPDX-License-Identifier: GPL-3.0-or-later
// Where an archive that is rebuilt lies, and what its folder allows: the rebuild either
// replaces it whole, or leaves it as it was with nothing beside it.
#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "archive/ZipError.h"
#include "common/Tools.h"
#include "fs/NativeName.h"
#include "fs/PathStatus.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The bytes of the file at a native path: Qt's own would look up another name.
QByteArray readNative(const QByteArray& nativePath)
{
    QFile file;
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QByteArray();
    return file.readAll();
}

// A rebuild under a file-size limit smaller than the new copy.
int rebuildUnderLimit(ArchiveRebuilder& rebuilder, const QString& path)
{
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int result = rebuilder.rebuild(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

} // namespace

TEST(RebuildPaths, AnArchiveIsReplacedWholeOrLeftAsItWas)
{
    struct Case
    {
        const char* what;
        QByteArray name; // native: the name the rebuild is given
        bool throughLink;
        bool limited;
        int expected;
        const char* detail; // in lastErrorDetail when it fails
    };
    const Case cases[] = {
        {"a name that is not UTF-8", "caf\xe9.zip", false, false, ZipOk, ""},
        {"a link to the archive", "link.zip", true, false, ZipOk, ""},
        // Past a file-size limit there is space to be had: a write error, as when zipping.
        {"a file-size limit", "set.zip", false, true, ZipWriteError, "File too large"},
    };
    for (const Case& c : cases) {
        for (const auto kind : {RebuildPlan::Kind::Recompress, RebuildPlan::Kind::RemoveEntries}) {
            SCOPED_TRACE(std::string(c.what) + (kind == RebuildPlan::Kind::Recompress
                                                    ? " / recompress"
                                                    : " / remove entries"));
            QTemporaryDir dir;
            writeFile(dir.filePath(QStringLiteral("game.nes")), noiseBytes(300000, 1));
            writeFile(dir.filePath(QStringLiteral("readme.txt")), textBytes(1000, 2));
            const QString made = dir.filePath(QStringLiteral("made.zip"));
            ZipComponent zip;
            zip.setArchivePath(made);
            zip.setFileMask(dir.filePath(QStringLiteral("game.nes")) + u'\n' +
                            dir.filePath(QStringLiteral("readme.txt")));
            zip.setLevel(0);
            ASSERT_EQ(zip.compress(0), ZipOk) << zip.lastErrorDetail();
            QFile::remove(dir.filePath(QStringLiteral("game.nes")));
            QFile::remove(dir.filePath(QStringLiteral("readme.txt")));
            const QByteArray folder = QFile::encodeName(dir.path()) + '/';
            const QByteArray archive = c.throughLink ? folder + "made.zip" : folder + c.name;
            if (c.throughLink) {
                ASSERT_EQ(::symlink("made.zip", (folder + c.name).constData()), 0);
            } else {
                ASSERT_EQ(::rename(QFile::encodeName(made).constData(), archive.constData()), 0);
            }
            const QString path = fs::nameFromNative(folder + c.name);
            const QStringList before =
                QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            const QByteArray bytes = readNative(archive);

            RebuildPlan plan;
            plan.kind = kind;
            plan.level = 9;
            plan.removeMask = QStringLiteral("*.txt");
            ArchiveRebuilder rebuilder(plan);
            const int result =
                c.limited ? rebuildUnderLimit(rebuilder, path) : rebuilder.rebuild(path);

            EXPECT_EQ(result, c.expected) << rebuilder.lastErrorDetail();
            EXPECT_TRUE(rebuilder.lastErrorDetail().contains(QLatin1String(c.detail)))
                << rebuilder.lastErrorDetail();
            EXPECT_EQ(readNative(archive) == bytes, result != ZipOk);
            EXPECT_EQ(
                QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                before);
            if (c.throughLink) {
                EXPECT_EQ(fs::statOf(path, fs::Links::DoNotFollow)->kind, fs::FileKind::Link);
            }
            ::unlink(archive.constData()); // Qt could not remove a name that is not UTF-8
        }
    }
}
