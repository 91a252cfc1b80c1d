// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelmar {

// What a decoder says after each call.
enum class DecodeStatus {
    More,        // call again: with more input once all of it has been taken
    End,         // the stream is complete and every byte of it has been handed out
    Damaged,     // the bytes are not a valid stream of this method
    Truncated,   // the input ended before the stream did
    TooLarge,    // the stream holds more than the size the archive declares
    TooSmall,    // the stream ended before the size the archive declares
    NeedsMemory, // the stream asks for a dictionary or window larger than Kelmar allows
    Unsupported, // a valid stream using a feature this build cannot decode
};

struct DecodeStep
{
    size_t consumed = 0;
    size_t produced = 0;
    DecodeStatus status = DecodeStatus::More;
};

// A streaming decoder for one entry's compressed data: compressed bytes go in, decompressed
// bytes come out into the caller's buffer, in pieces of any size. Memory stays fixed
// whatever the entry's size; nothing is ever allocated from a size the archive declares.
//
// The archive's declared size is a limit, not a promise: decode() never hands out more than
// one byte past it, and reports TooLarge when the stream goes on, TooSmall when it ends short.
class Decoder
{
public:
    explicit Decoder(uint64_t declaredSize) : m_declaredSize(declaredSize) {}
    virtual ~Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // inputEnded: in holds the last bytes of the compressed data. After End, Damaged,
    // Truncated, TooLarge, TooSmall, NeedsMemory or Unsupported the decoder is finished.
    DecodeStep decode(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                      size_t outCapacity);

    uint64_t declaredSize() const { return m_declaredSize; }
    uint64_t produced() const { return m_produced; }

    // Kelmar's bound on any one decoder's dictionary or window.
    static constexpr uint64_t kMaxWindow = uint64_t(1) << 30;

protected:
    virtual DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                           size_t outCapacity) = 0;

private:
    uint64_t m_declaredSize;
    uint64_t m_produced = 0;
};

} // namespace kelmar
