// SPDX-License-Identifier: GPL-3.0-or-later
// list() must report what libzip reports: the names libzip decodes (UTF-8, CP437, the
// Info-ZIP Unicode path field; but a name a Unix host wrote keeps its bytes), the sizes, and the
// result code each kind of damage has always given. Each case compares list() with a listing made
// by zip_open and zip_stat_index.
#include "archive/ZipComponent.h"
#include "common/Tools.h"
#include "fs/NativeName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <functional>
#include <optional>
#include <vector>

using namespace kelmar;
using namespace kelmar::test;

namespace {

struct ListedEntry
{
    QString name;
    qint64 size = 0;

    bool operator==(const ListedEntry& other) const
    {
        return size == other.size && name == other.name;
    }
};

// gtest finds it next to the type.
void PrintTo(const ListedEntry& entry, std::ostream* os)
{
    *os << '"' << entry.name.toStdString() << "\" " << entry.size;
}

using Entries = std::vector<ListedEntry>;

// What libzip itself makes of the archive, the way list() always asked it.
std::optional<Entries> listWithLibzip(const QString& path)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return std::nullopt;
    Entries entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            zip_discard(archive);
            return std::nullopt;
        }
        entries.push_back({QString::fromUtf8(st.name), qint64(st.size)});
    }
    zip_discard(archive);
    return entries;
}

struct Listing
{
    int result = -1;
    QString detail;
    Entries entries;
};

Listing listWithKelmar(const QString& path)
{
    ZipComponent zip;
    zip.setArchivePath(path);
    Listing listing;
    QObject::connect(&zip, &ZipComponent::entryListed, [&](const QString& name, qint64 size) {
        listing.entries.push_back({name, size});
    });
    listing.result = zip.list();
    listing.detail = zip.lastErrorDetail();
    return listing;
}

bool python(const QString& script, const QStringList& args)
{
    const ToolRun run =
        runTool(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return run.exitCode == 0;
}

// Archives written by Python's zipfile, one kind per name.
const char* kPythonMaker = R"PY(
import struct, sys, zipfile, zlib
out, kind = sys.argv[1], sys.argv[2]
data = bytes(range(256)) * 40
if kind == 'many':
    # More entries than the end record's 16-bit count holds: zip64 end records.
    with zipfile.ZipFile(out, 'w') as z:
        for i in range(65536 + 3):
            z.writestr('%05x' % i, b'' if i % 2 else b'x')
    sys.exit(0)
if kind == 'long directory':
    # A directory larger than the last few KiB of the archive.
    with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
        for i in range(300):
            z.writestr('folder/%03d, a name of some length.nes' % i, bytes(i))
    sys.exit(0)
if kind == 'zip64 sizes':
    zipfile.ZIP64_LIMIT = 100  # every size and offset past it goes to a zip64 field
if kind == 'zip64 end':
    zipfile.ZIP_FILECOUNT_LIMIT = 1  # zip64 end records, the end record's own count still right
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    if kind == 'comment':
        z.comment = b'dumped in 2026'
    if kind in ('plain', 'comment', 'force zip64', 'zip64 sizes', 'zip64 end'):
        z.writestr('roms/', b'')
        z.writestr('roms/game.nes', data)
        z.writestr('empty.txt', b'')
        z.writestr('stored.bin', data[:300], compress_type=zipfile.ZIP_STORED)
    if kind == 'force zip64':
        with z.open('forced.bin', 'w', force_zip64=True) as w:
            w.write(data)
    elif kind == 'odd ascii':
        # Tab and DEL count as ASCII to libzip; an empty name and a repeated one are kept.
        z.writestr('tab\there.nes', b'1')
        z.writestr('del\x7f.nes', b'22')
        with z.open(zipfile.ZipInfo(''), 'w') as w:
            w.write(b'333')
        z.writestr('tab\there.nes', b'4444')
    elif kind == 'utf-8 name':
        z.writestr('Pok\u00e9mon.gb', b'abc')
    elif kind == 'control byte':
        info = zipfile.ZipInfo('a\x01b.nes')
        info.create_system = 0  # DOS
        z.writestr(info, b'abc')
    elif kind in ('latin-1 from unix', 'cp437 from dos'):
        # Names stored as bytes, without the UTF-8 flag, as Info-ZIP's zip writes them.
        class Raw(zipfile.ZipInfo):
            def _encodeFilenameFlags(self):
                return self.raw, self.flag_bits
        info = Raw('raw.nes')
        info.raw, info.create_system = ((b'caf\xe9.nes', 3) if kind == 'latin-1 from unix'
                                        else (b'caf\x82.nes', 0))
        z.writestr(info, b'abc')
    elif kind == 'unicode path field':
        info = zipfile.ZipInfo('plain.nes')
        real = '\u00dcn\u00efcode.nes'.encode()
        info.extra = struct.pack('<HHBI', 0x7075, 5 + len(real), 1, zlib.crc32(b'plain.nes')) + real
        z.writestr(info, b'abc')
    elif kind == 'broken extra':
        info = zipfile.ZipInfo('broken.nes')
        info.extra = struct.pack('<HH', 0xcafe, 16) + b'abc'
        z.writestr(info, b'abc')
    elif kind == 'locator lookalike':
        # The directory's last 20 bytes begin like a zip64 locator.
        info = zipfile.ZipInfo('last.nes')
        info.extra = struct.pack('<HH', 0xcafe, 20) + b'PK\x06\x07' + bytes(16)
        z.writestr(info, b'abc')
)PY";

// Rewrites an archive's bytes: the end record is the last 22 bytes of every archive here.
const char* kPatcher = R"PY(
import struct, sys
path, kind = sys.argv[1], sys.argv[2]
b = bytearray(open(path, 'rb').read())
end = len(b) - 22
if kind == 'junk before end':
    b[end:end] = b'junk' * 4
elif kind == 'appended':
    b += b'trailing bytes'
elif kind == 'prepended':
    b[0:0] = b'MZ' + bytes(4094)
elif kind == 'count one short':
    n = struct.unpack_from('<H', b, end + 10)[0] - 1
    struct.pack_into('<HH', b, end + 8, n, n)
elif kind == 'count one over':
    n = struct.unpack_from('<H', b, end + 10)[0] + 1
    struct.pack_into('<HH', b, end + 8, n, n)
elif kind == 'directory signature':
    b[struct.unpack_from('<I', b, end + 16)[0]] ^= 0xff
elif kind == 'directory past end':
    size = struct.unpack_from('<I', b, end + 12)[0]
    struct.pack_into('<I', b, end + 12, size + 1)
elif kind == 'half':
    b = b[:len(b) // 2]
elif kind == 'last byte cut':
    b = b[:-1]
elif kind == 'aes vendor':
    # The AES field of the first entry in the directory names a vendor libzip does not know.
    at = b.index(b'\x01\x99\x07\x00', struct.unpack_from('<I', b, end + 16)[0])
    b[at + 6:at + 8] = b'XX'
elif kind == 'second disk':
    struct.pack_into('<HH', b, end + 4, 1, 1)
open(path, 'wb').write(b)
)PY";

QString pythonArchive(const QTemporaryDir& dir, const char* kind)
{
    const QString path = dir.filePath(QStringLiteral("python.zip"));
    python(QString::fromLatin1(kPythonMaker), {path, QString::fromUtf8(kind)});
    return path;
}

QString patched(const QString& path, const char* kind)
{
    python(QString::fromLatin1(kPatcher), {path, QString::fromUtf8(kind)});
    return path;
}

QString patchedPlain(const QTemporaryDir& dir, const char* kind)
{
    return patched(pythonArchive(dir, "plain"), kind);
}

QString fileHolding(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("file.zip"));
    writeFile(path, bytes);
    return path;
}

// A folder of ROM-like files: nested folders, an empty file, one that deflates and one that
// does not.
QString sources(const QTemporaryDir& dir)
{
    const QString root = dir.filePath(QStringLiteral("src"));
    writeFile(root + QStringLiteral("/game.nes"), noiseBytes(40000, 1));
    writeFile(root + QStringLiteral("/readme.txt"), textBytes(20000, 2));
    writeFile(root + QStringLiteral("/empty.sav"), QByteArray());
    writeFile(root + QStringLiteral("/disk 1/track01.bin"), noiseBytes(3000, 3));
    writeFile(root + QStringLiteral("/disk 1/deeper/cue.txt"), textBytes(500, 4));
    QDir(root).mkpath(QStringLiteral("empty folder"));
    return root;
}

QString zipTool(const QTemporaryDir& dir, const QStringList& options)
{
    const QString path = dir.filePath(QStringLiteral("zip.zip"));
    const ToolRun run = runTool(QStringLiteral("zip"),
                                QStringList{QStringLiteral("-q"), QStringLiteral("-r")} + options +
                                    QStringList{path, QStringLiteral(".")},
                                sources(dir));
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return path;
}

QString sevenZip(const QTemporaryDir& dir, const QStringList& options)
{
    const QString path = dir.filePath(QStringLiteral("7zz.zip"));
    const ToolRun run =
        runTool(QStringLiteral("7zz"),
                QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd")} +
                    options + QStringList{path, QStringLiteral(".")},
                sources(dir));
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return path;
}

struct Case
{
    const char* what;
    std::function<QString(const QTemporaryDir&)> make;
    int result = ZipOk;
    // Names libzip gives where they differ from the stored bytes; empty: not checked.
    QStringList names = {};
};

// Runs list() and libzip on the case's archive and says where they differ.
void expectListLikeLibzip(const Case& c, const QString& path)
{
    const std::optional<Entries> libzip = listWithLibzip(path);
    const Listing kelmar = listWithKelmar(path);
    EXPECT_EQ(kelmar.result, c.result) << kelmar.detail.toStdString();
    // An archive list() cannot read lists nothing, whatever libzip makes of it (an empty
    // file is an empty archive to zip_open).
    // libzip reads a name without the UTF-8 flag as CP437 where it is not UTF-8; Kelmar keeps
    // the bytes of one written on Unix, so the case names what it expects.
    Entries expected = kelmar.result == ZipOk ? libzip.value_or(Entries{}) : Entries{};
    for (size_t i = 0; i < expected.size() && i < size_t(c.names.size()); ++i)
        expected[i].name = c.names.at(qsizetype(i));
    EXPECT_EQ(kelmar.entries, expected);
    if (kelmar.result != ZipOk) {
        EXPECT_FALSE(kelmar.detail.isEmpty());
    }
    if (!c.names.isEmpty()) {
        QStringList names;
        for (const ListedEntry& entry : kelmar.entries)
            names.append(entry.name);
        EXPECT_EQ(names, c.names);
    }
}

} // namespace

TEST(Listing, ArchivesFromEveryToolListAsLibzipListsThem)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    const std::vector<Case> cases = {
        {"zip, deflated, with folder entries", [](auto& d) { return zipTool(d, {}); }},
        {"zip, stored", [](auto& d) { return zipTool(d, {QStringLiteral("-0")}); }},
        {"zip, no folder entries", [](auto& d) { return zipTool(d, {QStringLiteral("-D")}); }},
        {"zip, self-extractor with adjusted offsets",
         [](auto& d) {
             const QString path = zipTool(d, {});
             QByteArray bytes = readFile(path);
             writeFile(path, QByteArray("MZ") + QByteArray(4094, '\0') + bytes);
             EXPECT_EQ(
                 runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-A"), path})
                     .exitCode,
                 0);
             return path;
         }},
        {"7zz, deflated", [](auto& d) { return sevenZip(d, {}); }},
        {"7zz, stored", [](auto& d) { return sevenZip(d, {QStringLiteral("-mx=0")}); }},
        {"7zz, AES-256",
         [](auto& d) {
             return sevenZip(d, {QStringLiteral("-psecret"), QStringLiteral("-mem=AES256")});
         }},
        {"python, deflated and stored", [](auto& d) { return pythonArchive(d, "plain"); }},
        {"python, 300 entries", [](auto& d) { return pythonArchive(d, "long directory"); }},
        {"python, zip64 forced on an entry's local header",
         [](auto& d) { return pythonArchive(d, "force zip64"); }},
        {"python, tab, DEL, empty and repeated names",
         [](auto& d) { return pythonArchive(d, "odd ascii"); },
         ZipOk,
         {QStringLiteral("tab\there.nes"), QStringLiteral("del\x7f.nes"), QString(),
          QStringLiteral("tab\there.nes")}},
        {"python, no entries",
         [](auto& d) {
             const QString path = d.filePath(QStringLiteral("empty.zip"));
             python(
                 QStringLiteral("import sys, zipfile\nzipfile.ZipFile(sys.argv[1], 'w').close()"),
                 {path});
             return path;
         }},
        {"kelmar, AES-256",
         [](auto& d) {
             const QString root = sources(d);
             ZipComponent zip;
             zip.setArchivePath(d.filePath(QStringLiteral("kelmar.zip")));
             zip.setFileMask(root + QStringLiteral("/*"));
             zip.setProcessSubfolders(true);
             zip.setKeepFolderNames(true);
             zip.setPassword(QStringLiteral("secret"));
             EXPECT_EQ(zip.compress(), ZipOk) << zip.lastErrorDetail();
             return zip.archivePath();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = c.make(dir);
        ASSERT_TRUE(listWithLibzip(path).has_value());
        expectListLikeLibzip(c, path);
    }
}

TEST(Listing, OddNamesAndDamagedArchivesListAsLibzipSaysWithTheirResultCodes)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    const std::vector<Case> cases = {
        {"archive comment", [](auto& d) { return pythonArchive(d, "comment"); }},
        {"name in UTF-8",
         [](auto& d) { return pythonArchive(d, "utf-8 name"); },
         ZipOk,
         {QStringLiteral("Pok\u00e9mon.gb")}},
        {"control byte in a name, read as CP437",
         [](auto& d) { return pythonArchive(d, "control byte"); },
         ZipOk,
         {QStringLiteral("a\u263ab.nes")}},
        {"Latin-1 bytes from a Unix host, kept",
         [](auto& d) { return pythonArchive(d, "latin-1 from unix"); },
         ZipOk,
         {fs::nameFromNative(QByteArray("caf\xe9.nes"))}},
        {"CP437 bytes from a DOS host, read as CP437",
         [](auto& d) { return pythonArchive(d, "cp437 from dos"); },
         ZipOk,
         {QStringLiteral("caf\u00e9.nes")}},
        {"Info-ZIP Unicode path field",
         [](auto& d) { return pythonArchive(d, "unicode path field"); },
         ZipOk,
         {QStringLiteral("\u00dcn\u00efcode.nes")}},
        {"zip64 sizes and offsets", [](auto& d) { return pythonArchive(d, "zip64 sizes"); }},
        {"zip64 end records", [](auto& d) { return pythonArchive(d, "zip64 end"); }},
        {"more than 65535 entries", [](auto& d) { return pythonArchive(d, "many"); }},
        {"bytes between directory and end record",
         [](auto& d) { return patchedPlain(d, "junk before end"); }},
        {"bytes after the end record", [](auto& d) { return patchedPlain(d, "appended"); }},
        // What list() cannot read, with the result code it has always given.
        {"missing file", [](auto& d) { return d.filePath(QStringLiteral("missing.zip")); },
         ZipFileNotFound},
        {"zero-length file", [](auto& d) { return fileHolding(d, QByteArray()); }, ZipNotAZip},
        {"not a zip", [](auto& d) { return fileHolding(d, noiseBytes(5000, 9)); }, ZipNotAZip},
        {"a folder", [](auto& d) { return d.path(); }, ZipReadError},
        {"first half only", [](auto& d) { return patchedPlain(d, "half"); }, ZipNotAZip},
        {"last byte cut", [](auto& d) { return patchedPlain(d, "last byte cut"); }, ZipNotAZip},
        {"data before the archive, offsets not adjusted",
         [](auto& d) { return patchedPlain(d, "prepended"); }, ZipNotAZip},
        {"entry count one short", [](auto& d) { return patchedPlain(d, "count one short"); },
         ZipDamaged},
        {"entry count one over", [](auto& d) { return patchedPlain(d, "count one over"); },
         ZipDamaged},
        {"directory signature damaged",
         [](auto& d) { return patchedPlain(d, "directory signature"); }, ZipNotAZip},
        {"directory runs into the end record",
         [](auto& d) { return patchedPlain(d, "directory past end"); }, ZipDamaged},
        {"second disk of a split archive", [](auto& d) { return patchedPlain(d, "second disk"); },
         ZipUnsupported},
        {"extra field longer than its entry",
         [](auto& d) { return pythonArchive(d, "broken extra"); }, ZipDamaged},
        {"AES field of an unknown vendor",
         [](auto& d) {
             return patched(
                 sevenZip(d, {QStringLiteral("-psecret"), QStringLiteral("-mem=AES256")}),
                 "aes vendor");
         },
         ZipUnsupported},
        {"directory ending like a zip64 locator",
         [](auto& d) { return pythonArchive(d, "locator lookalike"); }, ZipDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = c.make(dir);
        expectListLikeLibzip(c, path);
    }
}
