// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <lzma.h>

namespace kelmar {

// LZMA as zip stores it (method 14): a 4-byte header (the encoder's version, then the length
// of the properties, 5), the 5 bytes of LZMA properties, then the raw LZMA stream, with or
// without an end marker. Decoded by liblzma, told the declared size so that a stream without
// an end marker stops there.
class LzmaDecoder final : public Decoder
{
public:
    explicit LzmaDecoder(uint64_t declaredSize);
    ~LzmaDecoder() override;

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override;

private:
    DecodeStatus start();

    uint8_t m_header[9] = {};
    size_t m_headerLength = 0;
    lzma_stream m_stream = LZMA_STREAM_INIT;
    bool m_started = false;
};

} // namespace kelmar
