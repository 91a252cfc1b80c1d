// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace kelmar {

// Zstandard (zip method 93): one or more frames, decoded by libzstd.
class ZstdDecoder final : public Decoder
{
public:
    explicit ZstdDecoder(uint64_t declaredSize);
    ~ZstdDecoder() override;

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override;

private:
    ZSTD_DCtx* m_context;
    // True between frames: the input may end here.
    bool m_atFrameEnd = false;
    bool m_sawFrame = false;
};

} // namespace kelmar
