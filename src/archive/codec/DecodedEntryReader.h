#pragma once

#include <QString>

#include <functional>
#include <vector>

typedef struct zip zip_t;
typedef struct zip_error zip_error_t;
typedef struct zip_stat zip_stat_t;

namespace kelmar {

// Reads an entry whose method libzip cannot decompress (see kelmarDecodes): libzip hands out
// the raw data, decrypted when the entry is encrypted and with AES's authentication code
// checked, and one of Kelmar's decoders turns it into the entry's bytes, which go to the
// sink piece by piece through a fixed buffer. At the end the size and the CRC-32 are checked.
class DecodedEntryReader
{
public:
    struct Result
    {
        int code = 0;   // a ZipResult
        QString detail; // empty when libzipFailure or the sink has said what went wrong
    };
    // Hands a piece of the entry on; returns a ZipResult, and anything but ZipOk stops.
    using Sink = std::function<int(const char*, qint64)>;
    // Turns an error of libzip into a ZipResult, saying what went wrong itself.
    using LibzipFailure = std::function<int(const zip_error_t*)>;

    // output: the buffer the entry's bytes are decoded into before they go to the sink.
    explicit DecodedEntryReader(std::vector<char>& output) : m_output(output) {}

    Result read(zip_t* archive, quint64 index, const zip_stat_t& st, const QString& name,
                const Sink& sink, const LibzipFailure& libzipFailure);

private:
    std::vector<char>& m_output;
    std::vector<unsigned char> m_input;
};

} // namespace kelmar
