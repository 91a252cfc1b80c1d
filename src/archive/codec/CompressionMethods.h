// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <QString>

#include <memory>

namespace kelmar {

// The zip compression methods by number: their names, and Kelmar's own decoders for those
// libzip does not read.

// "Deflate64", "LZMA", ...; "method N" for a number without a name.
QString compressionMethodName(int method);

// True for the methods Kelmar decodes itself: Deflate64 (9), LZMA (14), Zstandard (93) and
// XZ (95).
bool kelmarDecodes(int method);

// A decoder for method, or none when kelmarDecodes(method) is false; also one for Deflate and
// BZip2, which libzip reads but without checking where their streams end (StreamDecoders.h).
std::unique_ptr<Decoder> makeDecoder(int method, uint64_t declaredSize);

} // namespace kelmar
