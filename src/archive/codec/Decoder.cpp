// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/Decoder.h"

#include <algorithm>

namespace kelmar {

DecodeStep Decoder::decode(const uint8_t* in, size_t inLength, bool inputEnded, uint8_t* out,
                           size_t outCapacity)
{
    // One byte of room past the declared size is enough to see a stream that goes on.
    const uint64_t room =
        m_produced <= m_declaredSize ? m_declaredSize - m_produced + 1 : uint64_t(0);
    DecodeStep step =
        run(in, inLength, inputEnded, out, size_t(std::min<uint64_t>(outCapacity, room)));
    m_produced += step.produced;
    if (m_produced > m_declaredSize)
        step.status = DecodeStatus::TooLarge;
    else if (step.status == DecodeStatus::End && m_produced < m_declaredSize)
        step.status = DecodeStatus::TooSmall;
    return step;
}

} // namespace kelmar
