// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Tools.h"
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/PathStatus.h"
#include "fs/SafeOutput.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// Everything in folder, hidden names and names that are not UTF-8 included.
QStringList namesIn(const QString& folder)
{
    QStringList names;
    fs::listFolderNames(folder, &names);
    names.sort();
    return names;
}

int writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0)
            return errno;
        done += n;
    }
    return 0;
}

// A write through the output under a file-size limit.
int writeUnderLimit(fs::SafeOutput& out)
{
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int err = writeAll(out.fd(), QByteArray(8192, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    return err;
}

// Makes folder refuse new names: read-only for a user, immutable for root (whom no mode
// stops). Returns a step that undoes it, or nothing when this file system cannot.
std::function<void()> refuseNewNames(const QString& folder)
{
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(folder).constData(), 0500);
        return [folder] { ::chmod(QFile::encodeName(folder).constData(), 0700); };
    }
    if (!haveTool(QStringLiteral("chattr")) ||
        runTool(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}).exitCode != 0)
        return {};
    return [folder] { runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), folder}); };
}

} // namespace

// Each row is a way writing a file safely can fail. The failure is read as the right fault,
// the target keeps what it held, and nothing of the attempt stays beside it.
TEST(SafeOutput, AFailedWriteLeavesTheTargetAsItWasAndNothingBesideIt)
{
    // As root a read-only folder takes new names all the same; chattr +i stands in for it.
    KELMAR_REQUIRE_TOOL("chattr");
    struct Case
    {
        const char* fault;
        // Runs the output up to its failing step; returns that step's result.
        std::function<int(fs::SafeOutput& out, const QString& folder, const QString& target)> run;
        int expected; // the result, an errno or kTargetChanged
        fs::WriteFault expectedFault;
    };
    const Case cases[] = {
        {"a file-size limit",
         [](fs::SafeOutput& out, const QString&, const QString&) {
             return out.begin() != 0 ? -2 : writeUnderLimit(out);
         },
         EFBIG, fs::WriteFault::FileTooLarge},
        {"a folder that takes no new names",
         [](fs::SafeOutput& out, const QString& folder, const QString&) {
             const std::function<void()> undo = refuseNewNames(folder);
             if (!undo)
                 return -3;
             const int err = out.begin();
             undo();
             return err;
         },
         ::geteuid() == 0 ? EPERM : EACCES, fs::WriteFault::Permission},
        {"the name taken while the file was written",
         [](fs::SafeOutput& out, const QString&, const QString& target) {
             if (out.begin() != 0 || writeAll(out.fd(), "new") != 0 || out.finishWriting() != 0)
                 return -2;
             writeFile(target, "theirs");
             return out.commitNew(true);
         },
         EEXIST, fs::WriteFault::Other},
        {"the target changed while its replacement was written",
         [](fs::SafeOutput& out, const QString&, const QString& target) {
             writeFile(target, "old");
             const auto before = fs::statOf(target, fs::Links::Follow);
             if (!before || out.begin() != 0 || writeAll(out.fd(), "new") != 0)
                 return -2;
             writeFile(target, "theirs, and longer");
             return out.commitReplacing(*before);
         },
         fs::SafeOutput::kTargetChanged, fs::WriteFault::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("roms"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("/game.nes");
        int result = 0;
        {
            fs::SafeOutput out(target);
            result = c.run(out, folder, target);
        }
        if (result == -3)
            continue; // this file system has no immutable folders
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(fs::writeFaultOf(result), c.expectedFault);
        const QByteArray held = QFile::exists(target) ? readFile(target) : QByteArray();
        EXPECT_NE(held, "new");
        EXPECT_EQ(namesIn(folder), held.isEmpty() ? QStringList() : QStringList{"game.nes"});
    }
}

// Each row is a file written safely to the end: it holds what was written, under its name,
// with the mode it should have, and nothing else is left beside it.
TEST(SafeOutput, ACommittedFileHasItsBytesItsNameAndItsMode)
{
    struct Case
    {
        const char* what;
        bool replacing;
        QByteArray name; // native, below the folder
    };
    const Case cases[] = {
        {"a new file, with the umask applied", false, "game.nes"},
        {"a new file whose name is not UTF-8", false, "caf\xe9.nes"},
        {"a replacement, with the old file's mode", true, "set.zip"},
    };
    const mode_t oldMask = ::umask(027);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString target = dir.path() + u'/' + fs::nameFromNative(c.name);
        const QByteArray native = fs::nativeName(target);
        std::optional<fs::PathStatus> before;
        if (c.replacing) {
            writeRaw(native, "old");
            ::chmod(native.constData(), 0604);
            before = fs::statOf(target, fs::Links::Follow);
            ASSERT_TRUE(before);
        }
        fs::SafeOutput out(target, c.replacing ? fs::SafeOutput::Form::WorkFile
                                               : fs::SafeOutput::Form::Direct);
        ASSERT_EQ(out.begin(), 0);
        if (c.replacing)
            writeRaw(out.path(), "new");
        else
            ASSERT_EQ(writeAll(out.fd(), "new"), 0);
        ASSERT_EQ(out.finishWriting(), 0);
        ASSERT_EQ(out.flush(), 0);
        // Private until it is complete.
        EXPECT_EQ(fs::statOfNative(out.path(), fs::Links::DoNotFollow)->permissions, 0600u);
        EXPECT_EQ(c.replacing ? out.commitReplacing(*before) : out.commitNew(true), 0);
        EXPECT_TRUE(out.committed());
        out.discard();
        const auto after = fs::statOf(target, fs::Links::DoNotFollow);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->permissions, c.replacing ? 0604u : 0640u);
        EXPECT_EQ(after->size, 3);
        EXPECT_EQ(namesIn(dir.path()), QStringList{fs::nameFromNative(c.name)});
        ::unlink(native.constData()); // Qt could not remove a name that is not UTF-8
    }
    ::umask(oldMask);
}

// Files flushed as a group: the folders they share are flushed once; one that is gone is
// named as the failure.
TEST(SafeOutput, AFlushGroupNamesTheFileItCouldNotFlush)
{
    QTemporaryDir dir;
    fs::FlushGroup group;
    for (const char* name : {"a.nes", "b.nes", "sub/c.nes"}) {
        writeFile(dir.filePath(QLatin1String(name)), "x");
        group.add(dir.filePath(QLatin1String(name)));
    }
    EXPECT_EQ(group.flush(), 0);
    EXPECT_TRUE(group.isEmpty());
    group.add(dir.filePath(QStringLiteral("a.nes")));
    group.add(dir.filePath(QStringLiteral("gone.nes")));
    QString failed;
    EXPECT_EQ(group.flush(&failed), ENOENT);
    EXPECT_EQ(failed, dir.filePath(QStringLiteral("gone.nes")));
}
