// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <lzma.h>

namespace kelmar {

// XZ (zip method 95): a whole .xz stream, with its own checks, decoded by liblzma.
class XzDecoder final : public Decoder
{
public:
    explicit XzDecoder(uint64_t declaredSize);
    ~XzDecoder() override;

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override;

private:
    lzma_stream m_stream = LZMA_STREAM_INIT;
    lzma_ret m_started;
};

} // namespace kelmar
