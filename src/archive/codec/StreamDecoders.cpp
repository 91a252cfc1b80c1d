// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/StreamDecoders.h"

#include <bzlib.h>
#include <zlib.h>

#include <climits>

namespace kelmar {

namespace {

// What a step means once the library has said it is neither finished nor failed: the
// stream is cut short when all of the last input is taken and there was still room to
// write.
DecodeStatus moreOrTruncated(bool inputEnded, size_t consumed, size_t inLength, size_t produced,
                             size_t outCapacity)
{
    return inputEnded && consumed == inLength && produced < outCapacity ? DecodeStatus::Truncated
                                                                        : DecodeStatus::More;
}

// Both libraries count in unsigned int; larger pieces are taken in parts.
unsigned int piece(size_t n)
{
    return n > UINT_MAX ? UINT_MAX : unsigned(n);
}

class InflateDecoder final : public Decoder
{
public:
    explicit InflateDecoder(uint64_t declaredSize) : Decoder(declaredSize)
    {
        m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
    }
    ~InflateDecoder() override
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override
    {
        DecodeStep step;
        if (!m_ready) {
            step.status = DecodeStatus::NeedsMemory;
            return step;
        }
        m_stream.next_in = const_cast<Bytef*>(in);
        m_stream.avail_in = piece(inLength);
        m_stream.next_out = out;
        m_stream.avail_out = piece(outCapacity);
        const int r = inflate(&m_stream, Z_NO_FLUSH);
        step.consumed = size_t(m_stream.next_in - in);
        step.produced = size_t(m_stream.next_out - out);
        switch (r) {
        case Z_STREAM_END:
            step.status = DecodeStatus::End;
            break;
        case Z_OK:
        case Z_BUF_ERROR:
            step.status =
                moreOrTruncated(inputEnded, step.consumed, inLength, step.produced, outCapacity);
            break;
        case Z_MEM_ERROR:
            step.status = DecodeStatus::NeedsMemory;
            break;
        default:
            step.status = DecodeStatus::Damaged;
            break;
        }
        return step;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

class BZip2Decoder final : public Decoder
{
public:
    explicit BZip2Decoder(uint64_t declaredSize) : Decoder(declaredSize)
    {
        m_ready = BZ2_bzDecompressInit(&m_stream, 0, 0) == BZ_OK;
    }
    ~BZip2Decoder() override
    {
        if (m_ready)
            BZ2_bzDecompressEnd(&m_stream);
    }

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override
    {
        DecodeStep step;
        if (!m_ready) {
            step.status = DecodeStatus::NeedsMemory;
            return step;
        }
        m_stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
        m_stream.avail_in = piece(inLength);
        m_stream.next_out = reinterpret_cast<char*>(out);
        m_stream.avail_out = piece(outCapacity);
        const int r = BZ2_bzDecompress(&m_stream);
        step.consumed = size_t(reinterpret_cast<const uint8_t*>(m_stream.next_in) - in);
        step.produced = size_t(reinterpret_cast<uint8_t*>(m_stream.next_out) - out);
        switch (r) {
        case BZ_STREAM_END:
            step.status = DecodeStatus::End;
            break;
        case BZ_OK:
            step.status =
                moreOrTruncated(inputEnded, step.consumed, inLength, step.produced, outCapacity);
            break;
        case BZ_MEM_ERROR:
            step.status = DecodeStatus::NeedsMemory;
            break;
        default:
            step.status = DecodeStatus::Damaged;
            break;
        }
        return step;
    }

private:
    bz_stream m_stream{};
    bool m_ready = false;
};

} // namespace

std::unique_ptr<Decoder> makeInflateDecoder(uint64_t declaredSize)
{
    return std::make_unique<InflateDecoder>(declaredSize);
}

std::unique_ptr<Decoder> makeBZip2Decoder(uint64_t declaredSize)
{
    return std::make_unique<BZip2Decoder>(declaredSize);
}

} // namespace kelmar
