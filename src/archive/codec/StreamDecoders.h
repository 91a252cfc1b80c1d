// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <memory>

namespace kelmar {

// Deflate (zip method 8), inflated by zlib, and BZip2 (method 12), decoded by libbz2.
// libzip reads both itself, but stops at the end of the stream without asking whether it is
// also the end of the entry's compressed data, and takes input that runs out before the
// stream's end marker as a complete stream. These decoders are for checking an entry whole:
// its stream must end exactly where its compressed size says.
std::unique_ptr<Decoder> makeInflateDecoder(uint64_t declaredSize);
std::unique_ptr<Decoder> makeBZip2Decoder(uint64_t declaredSize);

} // namespace kelmar
