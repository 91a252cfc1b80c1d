// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/ZstdDecoder.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace kelmar {

ZstdDecoder::ZstdDecoder(uint64_t declaredSize)
    : Decoder(declaredSize), m_context(ZSTD_createDCtx())
{
    // A frame names its own window size; above this bound it is refused, not allocated.
    if (m_context) {
        int windowLog = 0;
        for (uint64_t w = kMaxWindow; w > 1; w >>= 1)
            ++windowLog;
        ZSTD_DCtx_setParameter(m_context, ZSTD_d_windowLogMax, windowLog);
    }
}

ZstdDecoder::~ZstdDecoder()
{
    ZSTD_freeDCtx(m_context);
}

DecodeStep ZstdDecoder::run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                            size_t outCapacity)
{
    DecodeStep step;
    if (!m_context) {
        step.status = DecodeStatus::NeedsMemory;
        return step;
    }
    ZSTD_inBuffer input{in, inLength, 0};
    ZSTD_outBuffer output{out, outCapacity, 0};
    const size_t r = ZSTD_decompressStream(m_context, &output, &input);
    step.consumed = input.pos;
    step.produced = output.pos;
    if (ZSTD_isError(r)) {
        switch (ZSTD_getErrorCode(r)) {
        case ZSTD_error_frameParameter_windowTooLarge:
        case ZSTD_error_memory_allocation:
            step.status = DecodeStatus::NeedsMemory;
            break;
        default:
            step.status = DecodeStatus::Damaged;
            break;
        }
        return step;
    }
    if (r == 0) {
        m_atFrameEnd = true;
        m_sawFrame = true;
    } else if (input.pos > 0 || output.pos > 0) {
        m_atFrameEnd = false;
    }
    const bool allInputTaken = input.pos == inLength;
    if (inputEnded && allInputTaken && output.pos < outCapacity)
        step.status = m_atFrameEnd && m_sawFrame ? DecodeStatus::End : DecodeStatus::Truncated;
    else
        step.status = DecodeStatus::More;
    return step;
}

} // namespace kelmar
