#pragma once

#include "archive/codec/Decoder.h"

#include <lzma.h>

namespace kelmar {

// What a liblzma return code means for a decoder's caller.
DecodeStatus lzmaStatus(lzma_ret result);

} // namespace kelmar
