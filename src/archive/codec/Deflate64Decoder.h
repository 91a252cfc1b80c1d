// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <vector>

namespace kelmar {

// Inflate for Deflate64 (zip method 9, what Windows' own zip writer uses for large files):
// deflate with a 64 KiB window, length code 285 carrying 16 extra bits (lengths up to 65538)
// and distance codes 30 and 31 (distances up to 65536). No Debian library decodes it.
//
// Written for hostile input: every code, length and distance is checked before it is used,
// and nothing is read or written outside the fixed buffers. Decoding goes in steps (a block
// header with its code tables, one literal or match, a piece of a stored block); a step whose
// input has not all arrived yet is taken back whole and done again once more input comes.
class Deflate64Decoder final : public Decoder
{
public:
    explicit Deflate64Decoder(uint64_t declaredSize);

protected:
    DecodeStep run(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                   size_t outCapacity) override;

private:
    // A canonical Huffman code as lookup tables: a first table indexed by the next
    // primaryBits bits of input, and smaller second tables for the longer codes.
    struct Code
    {
        std::vector<uint32_t> entries;
        unsigned primaryBits = 0;
        bool build(const uint8_t* lengths, unsigned count, unsigned primaryBits);
    };
    enum class State { BlockHeader, Stored, Codes, Finished };
    enum class Outcome { Ok, NeedInput, Damaged };
    struct Mark
    {
        size_t inPos;
        uint64_t bits;
        unsigned count;
    };

    Outcome decodeSteps();
    Outcome readBlockHeader();
    Outcome readCodeTables();
    Outcome copyStored();
    Outcome decodeCodes();
    // The next symbol of code; -1 for an invalid code, -2 when the input runs out first.
    int decodeSymbol(const Code& code);
    void refill();
    uint32_t take(unsigned n);
    Mark mark() const { return {m_inPos, m_bits, m_count}; }
    void restore(const Mark& m);
    void slide();

    std::vector<uint8_t> m_in;
    size_t m_inPos = 0;
    size_t m_inEnd = 0;
    bool m_inputEnded = false;
    uint64_t m_bits = 0; // bits above m_count are always zero
    unsigned m_count = 0;

    // The last 64 KiB of output (what distances reach back into), then what was decoded
    // since; [m_outStart, m_outEnd) is decoded but not yet handed out.
    std::vector<uint8_t> m_out;
    size_t m_outStart = 0;
    size_t m_outEnd = 0;
    uint64_t m_total = 0;

    State m_state = State::BlockHeader;
    bool m_finalBlock = false;
    uint32_t m_storedLeft = 0;
    Code m_fixedLiterals;
    Code m_fixedDistances;
    Code m_literals;
    Code m_distances;
    Code m_lengthCodes;
    const Code* m_lit = nullptr;
    const Code* m_dist = nullptr;
};

} // namespace kelmar
