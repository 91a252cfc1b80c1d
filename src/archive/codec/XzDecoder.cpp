// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/XzDecoder.h"

#include "archive/codec/LzmaStatus.h"

namespace kelmar {

namespace {

// The dictionary, plus what liblzma needs besides it.
constexpr uint64_t kMemoryLimit = Decoder::kMaxWindow + (uint64_t(64) << 20);

} // namespace

// Concatenated streams and stream padding are part of the .xz format; an unknown check type
// is still decoded (liblzma cannot verify it, but the CRC-32 of the entry is checked anyway).
XzDecoder::XzDecoder(uint64_t declaredSize)
    : Decoder(declaredSize),
      m_started(lzma_stream_decoder(&m_stream, kMemoryLimit, LZMA_CONCATENATED))
{
}

XzDecoder::~XzDecoder()
{
    lzma_end(&m_stream);
}

DecodeStep XzDecoder::run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                          size_t outCapacity)
{
    if (m_started != LZMA_OK) {
        DecodeStep step;
        step.status = lzmaStatus(m_started);
        return step;
    }
    return lzmaStep(m_stream, in, inLength, inputEnded, out, outCapacity);
}

} // namespace kelmar
