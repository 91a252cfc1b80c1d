// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/Deflate64Decoder.h"

#include <algorithm>
#include <cstring>

namespace kelmar {

namespace {

constexpr size_t kWindow = 65536;
constexpr size_t kMaxMatch = 65538;
// Room for the window and a few matches beyond it, so that a slide moves 64 KiB for every
// 192 KiB decoded.
constexpr size_t kOutBuffer = 4 * kWindow;
// A step needs at most about 600 bytes (a block header with its tables); the rest is there
// so that the caller's pieces fit without waiting.
constexpr size_t kInBuffer = 64 * 1024;

constexpr uint32_t kSubTableFlag = 0x80;
constexpr unsigned kMaxCodeBits = 15;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 3};
// Code 285 is length 258 in deflate; Deflate64 gives it 16 extra bits from length 3.
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
// Codes 30 and 31 exist only in Deflate64.
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                        17,   25,   33,   49,    65,    97,    129,   193,
                                        257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                        4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

uint32_t reversed(uint32_t code, unsigned length)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

} // namespace

// Entries: 0 is an invalid code; a leaf holds symbol << 8 | code length; a link to a second
// table holds its offset << 8 | kSubTableFlag | its index bits. An incomplete code is
// accepted (its missing codes stay invalid and are refused when met); an over-subscribed one
// is not.
bool Deflate64Decoder::Code::build(const uint8_t* lengths, unsigned count, unsigned primary)
{
    unsigned counts[kMaxCodeBits + 1] = {};
    for (unsigned i = 0; i < count; ++i)
        ++counts[lengths[i]];
    counts[0] = 0;
    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        left = left * 2 - int(counts[len]);
        if (left < 0)
            return false;
    }
    uint32_t next[kMaxCodeBits + 1] = {};
    uint32_t code = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + counts[len - 1]) << 1;
        next[len] = code;
    }

    primaryBits = primary;
    const uint32_t primarySize = 1u << primary;
    entries.assign(primarySize, 0);
    uint8_t longest[1u << 10] = {};
    uint16_t codes[320];
    for (unsigned sym = 0; sym < count; ++sym) {
        const unsigned len = lengths[sym];
        if (len == 0)
            continue;
        codes[sym] = uint16_t(reversed(next[len]++, len));
        if (len > primary) {
            uint8_t& l = longest[codes[sym] & (primarySize - 1)];
            l = std::max<uint8_t>(l, uint8_t(len));
        }
    }
    for (uint32_t slot = 0; slot < primarySize; ++slot) {
        if (!longest[slot])
            continue;
        const uint32_t bits = longest[slot] - primary;
        const uint32_t offset = uint32_t(entries.size());
        entries.resize(offset + (1u << bits), 0);
        entries[slot] = offset << 8 | kSubTableFlag | bits;
    }
    for (unsigned sym = 0; sym < count; ++sym) {
        const unsigned len = lengths[sym];
        if (len == 0)
            continue;
        const uint32_t leaf = uint32_t(sym) << 8 | len;
        const uint32_t r = codes[sym];
        if (len <= primary) {
            for (uint32_t i = r; i < primarySize; i += 1u << len)
                entries[i] = leaf;
        } else {
            const uint32_t link = entries[r & (primarySize - 1)];
            const uint32_t offset = link >> 8;
            const uint32_t size = 1u << (link & 0x1f);
            for (uint32_t i = r >> primary; i < size; i += 1u << (len - primary))
                entries[offset + i] = leaf;
        }
    }
    return true;
}

Deflate64Decoder::Deflate64Decoder(uint64_t declaredSize)
    : Decoder(declaredSize), m_in(kInBuffer), m_out(kOutBuffer)
{
}

void Deflate64Decoder::refill()
{
    while (m_count <= 56 && m_inPos < m_inEnd) {
        m_bits |= uint64_t(m_in[m_inPos++]) << m_count;
        m_count += 8;
    }
}

uint32_t Deflate64Decoder::take(unsigned n)
{
    const uint32_t v = uint32_t(m_bits & ((uint64_t(1) << n) - 1));
    m_bits >>= n;
    m_count -= n;
    return v;
}

void Deflate64Decoder::restore(const Mark& m)
{
    m_inPos = m.inPos;
    m_bits = m.bits;
    m_count = m.count;
}

int Deflate64Decoder::decodeSymbol(const Code& code)
{
    const uint32_t mask = (1u << code.primaryBits) - 1;
    uint32_t e = code.entries[uint32_t(m_bits) & mask];
    if (e & kSubTableFlag) {
        const uint32_t subMask = (1u << (e & 0x1f)) - 1;
        e = code.entries[(e >> 8) + (uint32_t(m_bits >> code.primaryBits) & subMask)];
    }
    const unsigned len = e & 0x1f;
    // Missing input reads as zero bits: an entry found that way counts only when its code
    // lies wholly within the bits that are really there.
    if (len == 0)
        return m_count >= kMaxCodeBits ? -1 : -2;
    if (len > m_count)
        return -2;
    m_bits >>= len;
    m_count -= len;
    return int(e >> 8);
}

void Deflate64Decoder::slide()
{
    if (m_outEnd <= kWindow)
        return;
    std::memmove(m_out.data(), m_out.data() + m_outEnd - kWindow, kWindow);
    m_outStart = m_outEnd = kWindow;
}

DecodeStep Deflate64Decoder::run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                                 size_t outCapacity)
{
    DecodeStep step;
    if (m_inPos > 0) {
        std::memmove(m_in.data(), m_in.data() + m_inPos, m_inEnd - m_inPos);
        m_inEnd -= m_inPos;
        m_inPos = 0;
    }
    step.consumed = std::min(inLength, m_in.size() - m_inEnd);
    if (step.consumed)
        std::memcpy(m_in.data() + m_inEnd, in, step.consumed);
    m_inEnd += step.consumed;
    m_inputEnded = inputEnded && step.consumed == inLength;

    for (;;) {
        const size_t n = std::min(m_outEnd - m_outStart, outCapacity - step.produced);
        if (n) {
            std::memcpy(out + step.produced, m_out.data() + m_outStart, n);
            m_outStart += n;
            step.produced += n;
        }
        if (m_outStart < m_outEnd) {
            step.status = DecodeStatus::More; // the caller's buffer is full
            break;
        }
        if (m_state == State::Finished) {
            step.status = DecodeStatus::End;
            break;
        }
        if (m_out.size() - m_outEnd < kMaxMatch)
            slide();
        const Outcome o = decodeSteps();
        if (o == Outcome::Damaged) {
            step.status = DecodeStatus::Damaged;
            break;
        }
        if (o == Outcome::NeedInput && m_outStart == m_outEnd) {
            step.status = m_inputEnded ? DecodeStatus::Truncated : DecodeStatus::More;
            break;
        }
    }
    // Whole bytes still in the bit buffer go back to the input, so that the bytes kept
    // between calls are exactly m_in[m_inPos, m_inEnd).
    m_inPos -= m_count / 8;
    m_count %= 8;
    m_bits &= (uint64_t(1) << m_count) - 1;
    return step;
}

Deflate64Decoder::Outcome Deflate64Decoder::decodeSteps()
{
    while (m_out.size() - m_outEnd >= kMaxMatch) {
        Outcome o = Outcome::Ok;
        switch (m_state) {
        case State::BlockHeader:
            o = readBlockHeader();
            break;
        case State::Stored:
            o = copyStored();
            break;
        case State::Codes:
            o = decodeCodes();
            break;
        case State::Finished:
            return Outcome::Ok;
        }
        if (o != Outcome::Ok)
            return o;
    }
    return Outcome::Ok;
}

Deflate64Decoder::Outcome Deflate64Decoder::readBlockHeader()
{
    const Mark start = mark();
    refill();
    if (m_count < 3)
        return Outcome::NeedInput;
    m_finalBlock = take(1) != 0;
    switch (take(2)) {
    case 0: {
        take(m_count % 8);
        if (m_count < 32) {
            restore(start);
            return Outcome::NeedInput;
        }
        const uint32_t length = take(16);
        const uint32_t check = take(16);
        if (length != (~check & 0xffff))
            return Outcome::Damaged;
        // Stored bytes are copied straight from the input.
        m_inPos -= m_count / 8;
        m_bits = 0;
        m_count = 0;
        m_storedLeft = length;
        m_state = State::Stored;
        return Outcome::Ok;
    }
    case 1:
        if (m_fixedLiterals.entries.empty()) {
            uint8_t lengths[288];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            m_fixedLiterals.build(lengths, 288, 10);
            std::fill(lengths, lengths + 32, 5);
            m_fixedDistances.build(lengths, 32, 8);
        }
        m_lit = &m_fixedLiterals;
        m_dist = &m_fixedDistances;
        m_state = State::Codes;
        return Outcome::Ok;
    case 2: {
        const Outcome o = readCodeTables();
        if (o == Outcome::NeedInput)
            restore(start);
        return o;
    }
    default:
        return Outcome::Damaged;
    }
}

Deflate64Decoder::Outcome Deflate64Decoder::readCodeTables()
{
    refill();
    if (m_count < 14)
        return Outcome::NeedInput;
    // Up to 288 literal/length and 32 distance lengths fit the fields; symbols 286 and 287
    // have no meaning and are refused only if a block uses them.
    const unsigned literalCount = take(5) + 257;
    const unsigned distanceCount = take(5) + 1;
    const unsigned lengthCodeCount = take(4) + 4;
    uint8_t lengths[288 + 32] = {};
    for (unsigned i = 0; i < lengthCodeCount; ++i) {
        refill();
        if (m_count < 3)
            return Outcome::NeedInput;
        lengths[kCodeLengthOrder[i]] = uint8_t(take(3));
    }
    if (!m_lengthCodes.build(lengths, 19, 7))
        return Outcome::Damaged;

    const unsigned total = literalCount + distanceCount;
    std::fill(lengths, lengths + 19, 0);
    for (unsigned i = 0; i < total;) {
        refill();
        const int sym = decodeSymbol(m_lengthCodes);
        if (sym < 0)
            return sym == -1 ? Outcome::Damaged : Outcome::NeedInput;
        if (sym < 16) {
            lengths[i++] = uint8_t(sym);
            continue;
        }
        unsigned repeat = 0;
        uint8_t value = 0;
        if (sym == 16) {
            if (i == 0)
                return Outcome::Damaged;
            if (m_count < 2)
                return Outcome::NeedInput;
            value = lengths[i - 1];
            repeat = 3 + take(2);
        } else if (sym == 17) {
            if (m_count < 3)
                return Outcome::NeedInput;
            repeat = 3 + take(3);
        } else {
            if (m_count < 7)
                return Outcome::NeedInput;
            repeat = 11 + take(7);
        }
        if (i + repeat > total)
            return Outcome::Damaged;
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    // Without an end-of-block code the block could never end.
    if (lengths[256] == 0)
        return Outcome::Damaged;
    if (!m_literals.build(lengths, literalCount, 10) ||
        !m_distances.build(lengths + literalCount, distanceCount, 8))
        return Outcome::Damaged;
    m_lit = &m_literals;
    m_dist = &m_distances;
    m_state = State::Codes;
    return Outcome::Ok;
}

Deflate64Decoder::Outcome Deflate64Decoder::copyStored()
{
    if (m_storedLeft == 0) {
        m_state = m_finalBlock ? State::Finished : State::BlockHeader;
        return Outcome::Ok;
    }
    const size_t n = std::min({size_t(m_storedLeft), m_inEnd - m_inPos, m_out.size() - m_outEnd});
    if (n == 0)
        return Outcome::NeedInput;
    std::memcpy(m_out.data() + m_outEnd, m_in.data() + m_inPos, n);
    m_inPos += n;
    m_outEnd += n;
    m_total += n;
    m_storedLeft -= uint32_t(n);
    return Outcome::Ok;
}

Deflate64Decoder::Outcome Deflate64Decoder::decodeCodes()
{
    uint8_t* const out = m_out.data();
    const size_t limit = m_out.size() - kMaxMatch;
    while (m_outEnd <= limit) {
        const Mark start = mark();
        refill();
        int sym = decodeSymbol(*m_lit);
        if (sym < 0) {
            restore(start);
            return sym == -1 ? Outcome::Damaged : Outcome::NeedInput;
        }
        if (sym < 256) {
            out[m_outEnd++] = uint8_t(sym);
            ++m_total;
            continue;
        }
        if (sym == 256) {
            m_state = m_finalBlock ? State::Finished : State::BlockHeader;
            return Outcome::Ok;
        }
        sym -= 257;
        if (sym >= 29)
            return Outcome::Damaged;
        const unsigned lengthBits = kLengthExtra[sym];
        if (m_count < lengthBits) {
            restore(start);
            return Outcome::NeedInput;
        }
        const size_t length = kLengthBase[sym] + take(lengthBits);
        refill();
        const int d = decodeSymbol(*m_dist);
        if (d < 0) {
            restore(start);
            return d == -1 ? Outcome::Damaged : Outcome::NeedInput;
        }
        const unsigned distanceBits = kDistanceExtra[d];
        if (m_count < distanceBits) {
            restore(start);
            return Outcome::NeedInput;
        }
        const size_t distance = kDistanceBase[d] + take(distanceBits);
        // The window holds the last 64 KiB (or all output so far when there is less).
        if (distance > m_total || distance > m_outEnd)
            return Outcome::Damaged;
        const uint8_t* from = out + m_outEnd - distance;
        uint8_t* to = out + m_outEnd;
        if (distance >= length) {
            std::memcpy(to, from, length);
        } else {
            for (size_t i = 0; i < length; ++i)
                to[i] = from[i];
        }
        m_outEnd += length;
        m_total += length;
    }
    return Outcome::Ok;
}

} // namespace kelmar
