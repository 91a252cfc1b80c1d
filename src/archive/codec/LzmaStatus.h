// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <lzma.h>

namespace kelmar {

// What a liblzma return code means for a decoder's caller.
DecodeStatus lzmaStatus(lzma_ret result);

// One step of a started liblzma decoder over what the caller hands it.
DecodeStep lzmaStep(lzma_stream& stream, const uint8_t* in, size_t inLength, bool inputEnded,
                    uint8_t* out, size_t outCapacity);

} // namespace kelmar
