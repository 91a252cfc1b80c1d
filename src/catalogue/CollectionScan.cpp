// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CollectionScan.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryName.h"
#include "archive/ZipError.h"
#include "fs/FdGuard.h"
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace kelmar::catalogue {

namespace {

struct DigestFree
{
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// SHA-1 of bytes handed in pieces.
class Sha1Digest
{
public:
    Sha1Digest() : m_ctx(EVP_MD_CTX_new()) { EVP_DigestInit_ex(m_ctx.get(), EVP_sha1(), nullptr); }
    void add(const char* data, qint64 n) { EVP_DigestUpdate(m_ctx.get(), data, size_t(n)); }
    Sha1 result()
    {
        Sha1 out{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_ctx.get(), out.data(), &length);
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestFree> m_ctx;
};

void collectFolder(const QString& folder, QStringList* files)
{
    QStringList names;
    if (fs::listFolderFiles(folder, &names)) {
        std::sort(names.begin(), names.end());
        const QString prefix = fs::withSeparator(folder);
        for (const QString& n : names)
            files->append(prefix + n);
    }
    QStringList subs;
    if (fs::listSubFolders(folder, &subs)) {
        std::sort(subs.begin(), subs.end());
        for (const QString& s : subs)
            collectFolder(fs::withSeparator(folder) + s, files);
    }
}

void scanArchive(ScannedItem& item, MatchHash hash)
{
    ArchiveReader reader(item.path, QString());
    item.code = reader.open();
    if (item.code != ZipOk) {
        item.error = reader.detail();
        return;
    }
    zip_t* archive = reader.handle();
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    item.files.reserve(size_t(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0) {
            item.code = reader.resultOf(zip_get_error(archive), fs::fileNameOf(item.path));
            item.error = reader.detail();
            return;
        }
        FoundFile f;
        f.name = entryNameOf(archive, zip_uint64_t(i));
        if (f.name.endsWith(u'/'))
            continue; // a folder entry holds nothing
        f.index = quint32(i);
        f.size = qint64(st.size);
        f.crc = st.crc;
        f.hasCrc = (st.valid & ZIP_STAT_CRC) != 0;
        if (hash == MatchHash::Sha1) {
            Sha1Digest digest;
            const int r = reader.readEntry(zip_uint64_t(i), [&](const char* data, qint64 n) {
                digest.add(data, n);
                return int(ZipOk);
            });
            if (r == ZipOk) {
                f.sha1 = digest.result();
                f.hasSha1 = true;
            }
        }
        item.files.push_back(std::move(f));
    }
}

void scanLoose(ScannedItem& item, MatchHash hash)
{
    fs::FdGuard fd(::open(fs::nativeName(item.path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        item.code = ZipCannotOpen;
        item.error = fs::fileNameOf(item.path) + QStringLiteral(": ") + fs::systemError(errno);
        return;
    }
    FoundFile f;
    f.name = fs::fileNameOf(item.path);
    Sha1Digest digest;
    uLong crc = crc32(0, nullptr, 0);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            item.code = ZipReadError;
            item.error = fs::fileNameOf(item.path) + QStringLiteral(": ") + fs::systemError(errno);
            return;
        }
        if (n == 0)
            break;
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), size_t(n));
        if (hash == MatchHash::Sha1)
            digest.add(buffer.data(), n);
        f.size += n;
    }
    f.crc = quint32(crc);
    f.hasCrc = true;
    if (hash == MatchHash::Sha1) {
        f.sha1 = digest.result();
        f.hasSha1 = true;
    }
    item.files.push_back(std::move(f));
}

} // namespace

bool isArchiveName(const QString& path)
{
    return path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

QString ScannedItem::containerName() const
{
    if (archive) {
        const QString name = fs::fileNameOf(path);
        return name.left(name.size() - 4);
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QString() : fs::fileNameOf(path.left(slash));
}

QStringList collectionFiles(const QStringList& roots, QStringList* missing)
{
    QStringList files;
    for (const QString& root : roots) {
        const std::optional<fs::PathStatus> st = fs::statOf(root, fs::Links::Follow);
        if (!st)
            missing->append(root);
        else if (st->kind == fs::FileKind::Folder)
            collectFolder(root.size() > 1 && root.endsWith(u'/') ? root.chopped(1) : root, &files);
        else
            files.append(root);
    }
    return files;
}

ScannedItem scanFile(const QString& path, MatchHash hash)
{
    ScannedItem item;
    item.path = path;
    item.archive = isArchiveName(path);
    if (item.archive)
        scanArchive(item, hash);
    else
        scanLoose(item, hash);
    return item;
}

} // namespace kelmar::catalogue
