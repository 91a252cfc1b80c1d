// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/LzmaStatus.h"

namespace kelmar {

DecodeStatus lzmaStatus(lzma_ret result)
{
    switch (result) {
    case LZMA_OK:
        return DecodeStatus::More;
    case LZMA_STREAM_END:
        return DecodeStatus::End;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return DecodeStatus::NeedsMemory;
    case LZMA_OPTIONS_ERROR:
        // A filter or check this liblzma does not know: nothing says the data is wrong.
        return DecodeStatus::Unsupported;
    case LZMA_BUF_ERROR:
        // Asked to finish, with no input left and the stream not at its end.
        return DecodeStatus::Truncated;
    default:
        return DecodeStatus::Damaged;
    }
}

DecodeStep lzmaStep(lzma_stream& stream, const uint8_t* in, size_t inLength, bool inputEnded,
                    uint8_t* out, size_t outCapacity)
{
    stream.next_in = in;
    stream.avail_in = inLength;
    stream.next_out = out;
    stream.avail_out = outCapacity;
    const lzma_ret r = lzma_code(&stream, inputEnded ? LZMA_FINISH : LZMA_RUN);
    DecodeStep step;
    step.consumed = inLength - stream.avail_in;
    step.produced = outCapacity - stream.avail_out;
    step.status = lzmaStatus(r);
    return step;
}

} // namespace kelmar
