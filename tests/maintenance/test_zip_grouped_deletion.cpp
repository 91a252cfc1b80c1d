// SPDX-License-Identifier: GPL-3.0-or-later
// Per-file zip with "Delete Original Files": the sources of many archives go after one flush
// for the lot, and the log reads as if each had gone right after its own archive.
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/Scoped.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "maintenance/ZipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The log with SRC and OUT for the folders, and an error's words left out.
QStringList shortened(QStringList log, const QString& src, const QString& out)
{
    for (QString& line : log) {
        line.replace(src, "SRC").replace(out, "OUT");
        if (line.startsWith("Error zipping "))
            line = line.section('(', 0, 0) + '(';
    }
    return log;
}

} // namespace

TEST(ZipGroupedDeletion, EachArchiveLogsAndDeletesAsIfFlushedOnItsOwn)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    struct Case
    {
        const char* what;
        QStringList files;
        std::function<void(FakeHost&, const QString& src)> setUp;
        int replaceAfterWrite; // that archive's source is replaced once written (0: none)
        QStringList log;       // SRC and OUT stand for the folders
        QStringList left;      // in SRC afterwards
        QStringList archives;  // in OUT afterwards
    };
    const QString head = QStringLiteral("Individually Zipping the Following Files to OUT/");
    const std::vector<Case> cases = {
        {"three archives",
         {"a.nes", "b.nes", "c.nes"},
         {},
         0,
         {head, "SRC/a.nes", "SRC/b.nes", "SRC/c.nes"},
         {},
         {"a.zip", "b.zip", "c.zip"}},
        {"two files into one archive",
         {"mario.nes", "mario.sav", "zelda.nes"},
         {},
         0,
         {head, "SRC/mario.nes", "SRC/mario.sav",
          "    (mario.sav goes into mario.zip with an earlier file of the same name)",
          "SRC/zelda.nes"},
         {},
         {"mario.zip", "zelda.zip"}},
        {"an info file in each, never deleted",
         {"a.nes", "b.nes", "info.nfo"},
         [](FakeHost& host, const QString& src) {
             host.select(2, false);
             host.opts.chkInfoFile = Check::Ticked;
             host.opts.txtInfoFile = src + "/info.nfo";
         },
         0,
         {head, "SRC/a.nes", "SRC/info.nfo", "SRC/b.nes", "SRC/info.nfo"},
         {"info.nfo"},
         {"a.zip", "b.zip"}},
        {"a source replaced once its archive is written",
         {"a.nes", "b.nes", "c.nes"},
         {},
         2,
         {head, "SRC/a.nes", "SRC/b.nes",
          "Not deleted: SRC/b.nes (another file took its place after it was read)", "SRC/c.nes"},
         {"b.nes"},
         {"a.zip", "b.zip", "c.zip"}},
        {"an archive that cannot be written",
         {"a.nes", "big.nes", "c.nes"},
         [](FakeHost& host, const QString&) { host.opts.sliCompression = 0; },
         0,
         {head, "SRC/a.nes", "SRC/big.nes", "Error zipping OUT/big.zip (", "SRC/c.nes"},
         {"big.nes"},
         {"a.zip", "c.zip"}},
        {"TorrentZip",
         {"a.nes", "b.nes"},
         [](FakeHost& host, const QString&) { host.opts.chkTorrentZip = Check::Ticked; },
         0,
         {head, "SRC/a.nes", "SRC/b.nes"},
         {},
         {"a.zip", "b.zip"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString src = dir.filePath("Roms"), out = dir.filePath("Out");
        QDir().mkpath(out);
        for (int i = 0; i < c.files.size(); ++i)
            writeFile(src + '/' + c.files[i],
                      noiseBytes(c.files[i] == "big.nes" ? 300000 : 3000, i));
        FakeHost host;
        // Which source a write counts to is exact with one worker.
        host.workers = c.replaceAfterWrite != 0 ? 1 : 2;
        host.listFolder(src);
        host.opts.chkDeleteFiles = Check::Ticked;
        if (c.setUp)
            c.setUp(host, src);
        ZipComponent zip;
        int written = 0;
        zip.setAfterWriteHook([&] {
            if (++written == c.replaceAfterWrite) {
                const QString path = src + '/' + c.files[written - 1];
                writeFile(path + ".new", "a newer version");
                std::rename(qPrintable(path + ".new"), qPrintable(path));
            }
        });
        // Writes beyond 200 KB fail: big.nes cannot be zipped.
        const ScopedRlimit small(RLIMIT_FSIZE, 200 * 1024);
        ASSERT_TRUE(small.set());
        zip_files(zipRequest(host, out), host, host, zip);
        EXPECT_EQ(shortened(host.log, src, out), c.log);
        EXPECT_EQ(QDir(src).entryList(QDir::Files, QDir::Name), c.left);
        EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name), c.archives);
        for (const QString& name : c.archives)
            EXPECT_EQ(runTool("unzip", {"-tqq", out + '/' + name}).exitCode, 0) << name;
    }
}
