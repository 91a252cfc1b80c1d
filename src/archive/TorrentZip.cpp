// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/TorrentZip.h"

#include "archive/BufferBudget.h"
#include "archive/ZipError.h"
#include "fs/Path.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <future>
#include <unistd.h>

namespace kelmar::torrentzip {

namespace {

constexpr quint64 kMax32 = 0xFFFFFFFFu;
constexpr qint64 kChunk = 256 * 1024;

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

int compareNames(const QByteArray& a, const QByteArray& b)
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void put16(QByteArray& b, quint64 v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void put32(QByteArray& b, quint64 v)
{
    put16(b, v & 0xFFFF);
    put16(b, (v >> 16) & 0xFFFF);
}

void put64(QByteArray& b, quint64 v)
{
    put32(b, v & kMax32);
    put32(b, v >> 32);
}

// One entry as written.
struct Record
{
    QByteArray name;
    quint32 crc = 0;
    quint64 size = 0;
    quint64 packed = 0;
    quint64 offset = 0;
    bool zip64 = false; // its sizes need zip64: the local header carries them
};

bool needsZip64(quint64 size, quint64 packed)
{
    return size >= kMax32 || packed >= kMax32;
}

// The fields local and central headers share, from "version needed" to the name's length.
void putCommon(QByteArray& b, const Record& r, bool sizesInExtra)
{
    put16(b, r.zip64 ? 45 : 20);
    put16(b, isUtf8Name(r.name) ? 0x0802 : 0x0002);
    put16(b, 8);
    put16(b, kDosTime);
    put16(b, kDosDate);
    put32(b, r.crc);
    put32(b, sizesInExtra ? kMax32 : r.packed);
    put32(b, sizesInExtra ? kMax32 : r.size);
    put16(b, quint64(r.name.size()));
}

QByteArray localHeader(const Record& r)
{
    QByteArray b;
    put32(b, 0x04034b50);
    putCommon(b, r, r.zip64);
    put16(b, r.zip64 ? 20 : 0);
    b.append(r.name);
    if (r.zip64) {
        put16(b, 1);
        put16(b, 16);
        put64(b, r.size);
        put64(b, r.packed);
    }
    return b;
}

QByteArray centralHeader(const Record& r)
{
    QByteArray extra;
    if (r.size >= kMax32 || r.zip64)
        put64(extra, r.size);
    if (r.packed >= kMax32 || r.zip64)
        put64(extra, r.packed);
    if (r.offset >= kMax32)
        put64(extra, r.offset);
    QByteArray b;
    put32(b, 0x02014b50);
    put16(b, 0); // made by
    // Sizes go to the extra field exactly when the local header's do.
    putCommon(b, r, r.zip64);
    put16(b, extra.isEmpty() ? 0 : quint64(extra.size()) + 4);
    put16(b, 0);      // comment
    put16(b, 0);      // disk
    put16(b, 0);      // internal attributes
    put32(b, 0);      // external attributes
    put32(b, qMin(r.offset, kMax32));
    b.append(r.name);
    if (!extra.isEmpty()) {
        put16(b, 1);
        put16(b, quint64(extra.size()));
        b.append(extra);
    }
    return b;
}

QByteArray endRecords(quint64 count, quint64 dirOffset, quint64 dirSize, quint32 dirCrc)
{
    QByteArray b;
    if (count >= 0xFFFF || dirSize >= kMax32 || dirOffset >= kMax32) {
        const quint64 at = dirOffset + dirSize;
        put32(b, 0x06064b50);
        put64(b, 44);
        put16(b, 0);  // made by
        put16(b, 45); // needed
        put32(b, 0);
        put32(b, 0);
        put64(b, count);
        put64(b, count);
        put64(b, dirSize);
        put64(b, dirOffset);
        put32(b, 0x07064b50);
        put32(b, 0);
        put64(b, at);
        put32(b, 1);
    }
    put32(b, 0x06054b50);
    put16(b, 0);
    put16(b, 0);
    put16(b, qMin<quint64>(count, 0xFFFF));
    put16(b, qMin<quint64>(count, 0xFFFF));
    put32(b, qMin(dirSize, kMax32));
    put32(b, qMin(dirOffset, kMax32));
    put16(b, kCommentLength);
    b.append(QByteArrayLiteral("TORRENTZIPPED-"));
    b.append(QByteArray::number(dirCrc, 16).toUpper().rightJustified(8, '0'));
    return b;
}

// The archive's bytes, written in order through a buffer; headers go back to their place.
class Output
{
public:
    explicit Output(int fd) : m_fd(fd) { m_buffer.reserve(kChunk); }

    quint64 position() const { return m_flushed + quint64(m_buffer.size()); }
    int append(const char* data, qint64 length)
    {
        m_buffer.append(data, length);
        return m_buffer.size() >= kChunk ? flush() : 0;
    }
    int append(const QByteArray& data) { return append(data.constData(), data.size()); }
    int flush()
    {
        const int err = writeAt(m_flushed, m_buffer.constData(), m_buffer.size());
        m_flushed += quint64(m_buffer.size());
        m_buffer.clear();
        return err;
    }
    // Over what is written already: flush first.
    int overwrite(quint64 offset, const QByteArray& data)
    {
        const int err = flush();
        return err ? err : writeAt(offset, data.constData(), data.size());
    }
    // Drops everything from offset on.
    int cutTo(quint64 offset)
    {
        const int err = flush();
        if (err)
            return err;
        m_flushed = offset;
        return ::ftruncate(m_fd, off_t(offset)) == 0 ? 0 : errno;
    }

private:
    int writeAt(quint64 offset, const char* data, qint64 length)
    {
        while (length > 0) {
            const ssize_t n = ::pwrite(m_fd, data, size_t(length), off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            data += n;
            length -= n;
            offset += quint64(n);
        }
        return 0;
    }

    int m_fd;
    quint64 m_flushed = 0;
    QByteArray m_buffer;
};

// One raw deflate stream with the layout's parameters.
class Deflater
{
public:
    Deflater()
    {
        m_ok = deflateInit2(&m_z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    bool ok() const { return m_ok; }

    // Deflates data (the last piece when finish), handing the output to out; 0 or errno.
    template<typename Out>
    int feed(const char* data, qint64 length, bool finish, Out&& out)
    {
        if (length > 0) // a null buffer would restart the CRC
            m_crc = quint32(crc32_z(m_crc, reinterpret_cast<const Bytef*>(data), size_t(length)));
        m_size += quint64(length);
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        m_z.avail_in = uInt(length);
        char buffer[64 * 1024];
        for (;;) {
            m_z.next_out = reinterpret_cast<Bytef*>(buffer);
            m_z.avail_out = sizeof buffer;
            const int r = deflate(&m_z, finish ? Z_FINISH : Z_NO_FLUSH);
            if (r == Z_STREAM_ERROR)
                return EINVAL;
            const qint64 made = qint64(sizeof buffer - m_z.avail_out);
            m_packed += quint64(made);
            if (made > 0) {
                const int err = out(buffer, made);
                if (err)
                    return err;
            }
            if (finish ? r == Z_STREAM_END : (m_z.avail_in == 0 && m_z.avail_out != 0))
                return 0;
        }
    }
    quint32 crc() const { return m_crc; }
    quint64 size() const { return m_size; }
    quint64 packed() const { return m_packed; }

private:
    z_stream m_z{};
    bool m_ok = false;
    quint32 m_crc = 0;
    quint64 m_size = 0;
    quint64 m_packed = 0;
};

// An entry read whole and deflated off the writer's thread.
struct Packed
{
    QByteArray data;
    quint32 crc = 0;
    quint64 size = 0;
    int error = 0;
};

Packed deflateWhole(const QByteArray& input)
{
    Packed p;
    Deflater d;
    if (!d.ok()) {
        p.error = ENOMEM;
        return p;
    }
    p.data.reserve(qsizetype(compressBound(uLong(input.size()))));
    p.error = d.feed(input.constData(), input.size(), true, [&p](const char* b, qint64 n) {
        p.data.append(b, n);
        return 0;
    });
    p.crc = d.crc();
    p.size = d.size();
    return p;
}

struct Pending
{
    size_t index = 0;
    BufferLoan loan;
    std::future<Packed> packed;
};

class Writer
{
public:
    Writer(int fd, const std::vector<Entry>& entries, int threads, QString* detail)
        : m_out(fd), m_entries(entries), m_threads(qMax(1, threads)), m_detail(detail)
    {
    }
    int run(std::vector<Written>* written);

private:
    int fail(int code, const QString& what)
    {
        if (m_detail && m_detail->isEmpty())
            *m_detail = what;
        return code;
    }
    int writeFailed(int err)
    {
        return fail(zipResultOfWrite(err), fs::systemError(err));
    }
    bool wholeAhead(const Entry& e) const
    {
        return m_threads > 1 && e.read && e.size <= BufferBudget::kEntryCap;
    }
    int startAhead(size_t i);
    int writePending();
    int streamEntry(size_t i);
    int streamOnce(const Entry& e, Record& r, bool zip64);
    int finish();

    Output m_out;
    const std::vector<Entry>& m_entries;
    int m_threads;
    QString* m_detail;
    std::deque<Pending> m_pending;
    std::vector<Record> m_records;
};

int Writer::run(std::vector<Written>* written)
{
    int result = ZipOk;
    for (size_t i = 0; i < m_entries.size() && result == ZipOk; ++i) {
        if (wholeAhead(m_entries[i])) {
            result = startAhead(i);
            continue;
        }
        while (!m_pending.empty() && result == ZipOk)
            result = writePending();
        if (result == ZipOk)
            result = streamEntry(i);
    }
    while (!m_pending.empty() && result == ZipOk)
        result = writePending();
    // What is still deflating is waited for as the futures go.
    m_pending.clear();
    if (result == ZipOk)
        result = finish();
    if (result == ZipOk && written) {
        for (const Record& r : m_records)
            written->push_back({r.name, r.crc, qint64(r.size)});
    }
    return result;
}

// Reads entry i whole here and has it deflated on a thread of its own, once the number of
// entries in hand and the memory budget allow; the oldest ones are written meanwhile.
int Writer::startAhead(size_t i)
{
    const Entry& e = m_entries[i];
    while (int(m_pending.size()) >= m_threads) {
        const int r = writePending();
        if (r != ZipOk)
            return r;
    }
    Pending p;
    p.index = i;
    const qint64 need = 2 * e.size + 1024;
    while (!BufferLoan::tryTake(need, &p.loan)) {
        if (m_pending.empty()) {
            p.loan = BufferLoan(need);
            break;
        }
        const int r = writePending();
        if (r != ZipOk)
            return r;
    }
    QByteArray input;
    input.reserve(qsizetype(e.size));
    const int r = e.read([&input](const char* data, qint64 length) {
        input.append(data, length);
        return int(ZipOk);
    });
    if (r != ZipOk)
        return r;
    p.packed = std::async(std::launch::async, deflateWhole, std::move(input));
    m_pending.push_back(std::move(p));
    return ZipOk;
}

int Writer::writePending()
{
    Pending p = std::move(m_pending.front());
    m_pending.pop_front();
    const Packed packed = p.packed.get();
    if (packed.error)
        return writeFailed(packed.error);
    Record r;
    r.name = m_entries[p.index].name;
    r.crc = packed.crc;
    r.size = packed.size;
    r.packed = quint64(packed.data.size());
    r.offset = m_out.position();
    r.zip64 = needsZip64(r.size, r.packed);
    int err = m_out.append(localHeader(r));
    if (!err)
        err = m_out.append(packed.data);
    if (err)
        return writeFailed(err);
    m_records.push_back(r);
    return ZipOk;
}

// Streams entry i through one deflate stream. The local header comes first and must say
// whether zip64 holds the sizes before they are known: the entry's expected size decides,
// and where the outcome says otherwise the entry is written again with the other header.
int Writer::streamEntry(size_t i)
{
    const Entry& e = m_entries[i];
    Record r;
    r.name = e.name;
    r.offset = m_out.position();
    bool zip64 = needsZip64(quint64(qMax<qint64>(0, e.size)), 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int result = streamOnce(e, r, zip64);
        if (result != ZipOk)
            return result;
        if (needsZip64(r.size, r.packed) == zip64) {
            m_records.push_back(r);
            return ZipOk;
        }
        zip64 = !zip64;
        const int err = m_out.cutTo(r.offset);
        if (err)
            return writeFailed(err);
    }
    return fail(ZipReadError, QString::fromUtf8(e.name) +
                                  QStringLiteral(": its size changed while it was read"));
}

int Writer::streamOnce(const Entry& e, Record& r, bool zip64)
{
    Deflater d;
    if (!d.ok())
        return writeFailed(ENOMEM);
    r.zip64 = zip64;
    int err = m_out.append(localHeader(r));
    const auto out = [this](const char* b, qint64 n) { return m_out.append(b, n); };
    if (!err && e.read) {
        const int result = e.read([&](const char* data, qint64 length) {
            while (length > 0 && err == 0) {
                const qint64 piece = qMin(length, qint64(1) << 30);
                err = d.feed(data, piece, false, out);
                data += piece;
                length -= piece;
            }
            return err ? int(ZipWriteError) : int(ZipOk);
        });
        if (result != ZipOk && !err)
            return result;
    }
    if (!err)
        err = d.feed(nullptr, 0, true, out);
    if (err)
        return writeFailed(err);
    r.crc = d.crc();
    r.size = d.size();
    r.packed = d.packed();
    r.zip64 = zip64;
    err = m_out.overwrite(r.offset, localHeader(r));
    return err ? writeFailed(err) : ZipOk;
}

int Writer::finish()
{
    const quint64 dirOffset = m_out.position();
    quint32 crc = 0;
    quint64 dirSize = 0;
    for (const Record& r : m_records) {
        const QByteArray h = centralHeader(r);
        crc = quint32(crc32_z(crc, reinterpret_cast<const Bytef*>(h.constData()), size_t(h.size())));
        dirSize += quint64(h.size());
        const int err = m_out.append(h);
        if (err)
            return writeFailed(err);
    }
    int err = m_out.append(endRecords(m_records.size(), dirOffset, dirSize, crc));
    if (!err)
        err = m_out.flush();
    return err ? writeFailed(err) : ZipOk;
}

} // namespace

bool nameBefore(const QByteArray& a, const QByteArray& b)
{
    return compareNames(a, b) < 0;
}

bool isUtf8Name(const QByteArray& name)
{
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && (static_cast<unsigned char>(c) < 0x80);
    // Decoding replaces what is not UTF-8, so only UTF-8 comes back as it was.
    return !ascii && QString::fromUtf8(name).toUtf8() == name;
}

bool sortEntries(std::vector<Entry>& entries, QByteArray* clash)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return nameBefore(a.name, b.name); });
    for (size_t i = 1; i < entries.size(); ++i) {
        if (compareNames(entries[i - 1].name, entries[i].name) == 0) {
            if (clash)
                *clash = entries[i].name;
            return false;
        }
    }
    return true;
}

int writeArchive(int fd, const std::vector<Entry>& entries, int threads,
                 std::vector<Written>* written, QString* detail)
{
    Writer writer(fd, entries, threads, detail);
    return writer.run(written);
}

} // namespace kelmar::torrentzip
