// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/LzmaDecoder.h"

#include "archive/codec/LzmaStatus.h"

#include <algorithm>
#include <cstring>

namespace kelmar {

LzmaDecoder::LzmaDecoder(uint64_t declaredSize) : Decoder(declaredSize) {}

LzmaDecoder::~LzmaDecoder()
{
    lzma_end(&m_stream);
}

DecodeStatus LzmaDecoder::start()
{
    const unsigned propertiesLength = m_header[2] | unsigned(m_header[3]) << 8;
    if (propertiesLength != 5)
        return DecodeStatus::Damaged;
    const uint8_t* p = m_header + 4;
    unsigned d = p[0];
    if (d >= 9 * 5 * 5)
        return DecodeStatus::Damaged;
    lzma_options_lzma options{};
    options.lc = d % 9;
    d /= 9;
    options.lp = d % 5;
    options.pb = d / 5;
    const uint32_t dictionary =
        uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 | uint32_t(p[4]) << 24;
    // Nothing reaches back further than the output is long, so a dictionary larger than the
    // entry is never needed: a small entry declaring a huge dictionary costs no memory.
    const uint64_t needed =
        std::max<uint64_t>(LZMA_DICT_SIZE_MIN, std::min<uint64_t>(dictionary, declaredSize()));
    if (needed > kMaxWindow)
        return DecodeStatus::NeedsMemory;
    options.dict_size = uint32_t(needed);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, declaredSize());
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret r = lzma_raw_decoder(&m_stream, filters);
    if (r != LZMA_OK)
        return lzmaStatus(r);
    m_started = true;
    return DecodeStatus::More;
}

DecodeStep LzmaDecoder::run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                            size_t outCapacity)
{
    DecodeStep step;
    if (!m_started) {
        const size_t n = std::min(inLength, sizeof m_header - m_headerLength);
        std::memcpy(m_header + m_headerLength, in, n);
        m_headerLength += n;
        step.consumed = n;
        if (m_headerLength < sizeof m_header) {
            step.status =
                inputEnded && n == inLength ? DecodeStatus::Truncated : DecodeStatus::More;
            return step;
        }
        step.status = start();
        if (step.status != DecodeStatus::More)
            return step;
    }
    const size_t header = step.consumed;
    step = lzmaStep(m_stream, in + header, inLength - header, inputEnded, out, outCapacity);
    step.consumed += header;
    return step;
}

} // namespace kelmar
