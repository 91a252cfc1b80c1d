// SPDX-License-Identifier: GPL-3.0-or-later
// The decoders on their own: Deflate64's own codes on hand-made streams, hostile and cut
// streams, and seeded random damage to streams made by real tools.
#include "RawZip.h"
#include "archive/codec/CompressionMethods.h"
#include "archive/codec/Deflate64Decoder.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <random>

using namespace kelmar;
using namespace kelmar::test;

namespace {

struct Decoded
{
    DecodeStatus status = DecodeStatus::More;
    QByteArray bytes;
};

// Feeds in to decoder in pieces of pieceSize bytes (random sizes up to it with a generator)
// into an output buffer of outSize bytes, until the decoder is finished.
Decoded decodeAll(Decoder& decoder, const QByteArray& in, size_t pieceSize = 1 << 20,
                  size_t outSize = 32 * 1024, std::mt19937* random = nullptr)
{
    Decoded d;
    std::vector<uint8_t> out(outSize);
    const auto* data = reinterpret_cast<const uint8_t*>(in.constData());
    const size_t total = size_t(in.size());
    size_t pos = 0;
    size_t available = 0; // bytes handed over so far
    // Every call takes or gives something, so this bounds any sound decoder's calls.
    for (size_t calls = 0; calls < 4 * (total + decoder.declaredSize()) + 100; ++calls) {
        if (pos == available && available < total) {
            const size_t piece = random ? 1 + (*random)() % pieceSize : pieceSize;
            available = std::min(total, available + piece);
        }
        const size_t room = random ? 1 + (*random)() % outSize : outSize;
        const DecodeStep step =
            decoder.decode(data + pos, available - pos, available == total, out.data(), room);
        EXPECT_LE(step.consumed, available - pos);
        EXPECT_LE(step.produced, room);
        pos += step.consumed;
        d.bytes.append(reinterpret_cast<const char*>(out.data()), qsizetype(step.produced));
        d.status = step.status;
        if (step.status != DecodeStatus::More)
            return d;
    }
    ADD_FAILURE() << "the decoder never finished";
    return d;
}

// Deflate's bit order: values from their lowest bit, Huffman codes from their highest.
class BitWriter
{
public:
    void bits(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i)
            bit((value >> i) & 1);
    }
    void code(quint32 code, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            bit((code >> i) & 1);
    }
    // A symbol of the fixed literal/length code.
    void fixed(int symbol)
    {
        if (symbol < 144)
            code(0x30 + symbol, 8);
        else if (symbol < 256)
            code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            code(symbol - 256, 7);
        else
            code(0xc0 + symbol - 280, 8);
    }
    void storedBlock(const QByteArray& data, bool final)
    {
        bits(final, 1);
        bits(0, 2);
        align();
        bits(quint32(data.size()), 16);
        bits(~quint32(data.size()) & 0xffff, 16);
        m_bytes += data;
    }
    void align()
    {
        while (m_count)
            bit(0);
    }
    QByteArray finish()
    {
        align();
        return m_bytes;
    }

private:
    void bit(quint32 b)
    {
        m_byte |= b << m_count;
        if (++m_count == 8) {
            m_bytes.append(char(m_byte));
            m_byte = 0;
            m_count = 0;
        }
    }
    QByteArray m_bytes;
    quint32 m_byte = 0;
    int m_count = 0;
};

QByteArray pattern(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char((i * 7 + i / 251) & 0xff);
    return b;
}

// Copies like an LZ77 decoder: byte by byte, so that overlapping matches repeat.
void copyMatch(QByteArray& out, int distance, int length)
{
    for (int i = 0; i < length; ++i)
        out.append(out.at(out.size() - distance));
}

// A real tool's stream for method: 7-Zip's for the zip methods, the zstd tool's for 93.
QByteArray realStream(int method, const QByteArray& content, const QString& folder)
{
    const QString source = folder + QStringLiteral("/data.bin");
    writeFile(source, content);
    if (method == 93) {
        runTool(QStringLiteral("zstd"), {QStringLiteral("-q"), QStringLiteral("-f"), source,
                                         QStringLiteral("-o"), source + QStringLiteral(".zst")});
        return readFile(source + QStringLiteral(".zst"));
    }
    const QString name = method == 9    ? QStringLiteral("Deflate64")
                         : method == 14 ? QStringLiteral("LZMA")
                                        : QStringLiteral("XZ");
    const QString archive = folder + QStringLiteral("/data.zip");
    QFile::remove(archive);
    runTool(QStringLiteral("7zz"),
            {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
             QStringLiteral("-mm=") + name, archive, source});
    const RawEntry entry = firstEntry(archive);
    return entry.method == method ? entry.data : QByteArray();
}

} // namespace

TEST(Deflate64, LongLengthsAndFarDistancesOnlyDeflate64Has)
{
    // Length code 285 with its 16 extra bits: one literal, then 65538 and 3 copies of it.
    BitWriter longest;
    longest.bits(1, 1);
    longest.bits(1, 2);
    longest.fixed('K');
    longest.fixed(285);
    longest.bits(65535, 16);
    longest.code(0, 5);
    longest.fixed(285);
    longest.bits(0, 16);
    longest.code(0, 5);
    longest.fixed(256);
    const QByteArray expectedLongest(1 + 65538 + 3, 'K');

    // Distance codes 30 and 31 (32769 and up), behind a stored block that gives them history.
    BitWriter farthest;
    const QByteArray history = pattern(70000);
    farthest.storedBlock(history.left(60000), false);
    farthest.storedBlock(history.mid(60000), false);
    farthest.bits(1, 1);
    farthest.bits(1, 2);
    farthest.fixed(264); // length 10
    farthest.code(31, 5);
    farthest.bits(60000 - 49153, 14);
    farthest.fixed(264);
    farthest.code(30, 5);
    farthest.bits(40000 - 32769, 14);
    farthest.fixed(284); // length 227 + 31 = 258
    farthest.bits(31, 5);
    farthest.code(31, 5);
    farthest.bits(65536 - 49153, 14); // the whole window
    farthest.fixed(256);
    QByteArray expectedFarthest = history;
    copyMatch(expectedFarthest, 60000, 10);
    copyMatch(expectedFarthest, 40000, 10);
    copyMatch(expectedFarthest, 65536, 258);

    struct Case
    {
        const char* name;
        QByteArray stream;
        QByteArray expected;
    };
    for (const Case& c : {Case{"Length285", longest.finish(), expectedLongest},
                          Case{"Distance30And31", farthest.finish(), expectedFarthest}}) {
        SCOPED_TRACE(c.name);
        // Whole, and a byte at a time into a one-byte buffer: the same bytes either way.
        for (size_t piece : {size_t(1) << 20, size_t(1)}) {
            Deflate64Decoder decoder(quint64(c.expected.size()));
            const Decoded d = decodeAll(decoder, c.stream, piece, piece);
            EXPECT_EQ(d.status, DecodeStatus::End);
            EXPECT_TRUE(d.bytes == c.expected);
        }
        // Cut anywhere, a valid stream is truncated, never complete and never damaged.
        for (qsizetype cut = 0; cut < c.stream.size(); cut += 1 + cut / 16) {
            Deflate64Decoder decoder(quint64(c.expected.size()));
            EXPECT_EQ(decodeAll(decoder, c.stream.left(cut)).status, DecodeStatus::Truncated)
                << "cut at " << cut;
        }
    }
}

TEST(Deflate64, HostileStreamsAreDamagedAndNothingOutsideIsRead)
{
    struct Case
    {
        const char* name;
        std::function<void(BitWriter&)> write;
    };
    auto fixedBlock = [](BitWriter& w) {
        w.bits(1, 1);
        w.bits(1, 2);
    };
    // A dynamic block whose code-length code gives 2 bits to each of 16, 17, 18 and 0.
    auto dynamicHeader = [](BitWriter& w) {
        w.bits(1, 1);
        w.bits(2, 2);
        w.bits(0, 5); // 257 literal/length codes
        w.bits(0, 5); // 1 distance code
        w.bits(0, 4); // 4 code-length codes: 16, 17, 18, 0
        for (int i = 0; i < 4; ++i)
            w.bits(2, 3);
    };
    const std::vector<Case> cases = {
        {"ReservedBlockType",
         [](BitWriter& w) {
             w.bits(1, 1);
             w.bits(3, 2);
         }},
        {"StoredLengthAndItsComplementDisagree",
         [](BitWriter& w) {
             w.bits(1, 1);
             w.bits(0, 2);
             w.align();
             w.bits(5, 16);
             w.bits(0, 16);
         }},
        {"DistanceBeforeTheFirstByte",
         [&](BitWriter& w) {
             fixedBlock(w);
             w.fixed('a');
             w.fixed(257);
             w.code(1, 5); // distance 2, one byte written
         }},
        {"LengthCode286",
         [&](BitWriter& w) {
             fixedBlock(w);
             w.fixed('a');
             w.fixed(286);
         }},
        {"OverSubscribedCodeLengths",
         [](BitWriter& w) {
             w.bits(1, 1);
             w.bits(2, 2);
             w.bits(0, 5);
             w.bits(0, 5);
             w.bits(15, 4);
             for (int i = 0; i < 19; ++i)
                 w.bits(1, 3);
         }},
        {"RepeatWithNoLengthBefore",
         [&](BitWriter& w) {
             dynamicHeader(w);
             w.code(1, 2); // 16: repeat the previous length
             w.bits(0, 2);
         }},
        {"RepeatRunningPastTheCodes",
         [&](BitWriter& w) {
             dynamicHeader(w);
             w.code(3, 2); // 18: 138 zeros, twice, into 258 lengths
             w.bits(127, 7);
             w.code(3, 2);
             w.bits(127, 7);
         }},
        {"NoEndOfBlockCode",
         [&](BitWriter& w) {
             dynamicHeader(w);
             w.code(3, 2);
             w.bits(127, 7);
             w.code(3, 2);
             w.bits(109, 7);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        c.write(w);
        // Padding, so that running out of input is not what stops it.
        const QByteArray stream = w.finish() + QByteArray(64, '\0');
        Deflate64Decoder decoder(1000);
        EXPECT_EQ(decodeAll(decoder, stream).status, DecodeStatus::Damaged);
    }
}

// Random damage to real streams, with a fixed seed so that a failure can be replayed: every
// decoder finishes with a verdict, reads only what it is given and never hands out more than
// one byte past the declared size. A crash here is a crash on a user's archive.
TEST(Decoders, SeededRandomDamageIsJudgedWithoutCrashOrOverrun)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zstd"));
    QTemporaryDir dir;
    const QByteArray content = textBytes(16 * 1024, 11) + noiseBytes(512, 12) +
                               QByteArray(3000, '\0') + textBytes(4 * 1024, 11);
    for (int method : {9, 14, 95, 93}) {
        SCOPED_TRACE(method);
        const QByteArray stream = realStream(method, content, dir.path());
        ASSERT_FALSE(stream.isEmpty());
        std::mt19937 random(20261207u + unsigned(method));
        {
            // Sound, in any pieces: exactly the content.
            std::unique_ptr<Decoder> decoder = makeDecoder(method, quint64(content.size()));
            const Decoded d = decodeAll(*decoder, stream, 300, 5000, &random);
            EXPECT_EQ(d.status, DecodeStatus::End);
            EXPECT_TRUE(d.bytes == content);
        }
        for (int round = 0; round < 1500; ++round) {
            QByteArray mutated = stream;
            const int edits = 1 + int(random() % 4);
            for (int e = 0; e < edits && !mutated.isEmpty(); ++e) {
                const qsizetype at = qsizetype(random() % quint32(mutated.size()));
                switch (random() % 5) {
                case 0:
                    mutated[at] = char(mutated[at] ^ (1 << (random() % 8)));
                    break;
                case 1:
                    mutated[at] = char(random());
                    break;
                case 2:
                    mutated.truncate(at);
                    break;
                case 3:
                    mutated.remove(at, 1 + qsizetype(random() % 64));
                    break;
                default:
                    mutated.insert(at, mutated.mid(qsizetype(random() % quint32(mutated.size())),
                                                   1 + qsizetype(random() % 64)));
                    break;
                }
            }
            const quint64 declared =
                random() % 8 ? quint64(content.size()) : quint64(random() % (2 * content.size()));
            std::unique_ptr<Decoder> decoder = makeDecoder(method, declared);
            const Decoded d =
                decodeAll(*decoder, mutated, 1 + random() % 4096, 1 + random() % 40000, &random);
            ASSERT_NE(d.status, DecodeStatus::More) << "round " << round;
            ASSERT_LE(quint64(d.bytes.size()), declared + 1) << "round " << round;
            if (d.status == DecodeStatus::End) {
                ASSERT_EQ(quint64(d.bytes.size()), declared) << "round " << round;
            }
        }
    }
}
