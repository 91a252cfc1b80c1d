#include "archive/codec/DecodedEntryReader.h"

#include "archive/ZipError.h"
#include "archive/codec/CompressionMethods.h"

#include <zip.h>
#include <zlib.h>

#include <memory>

namespace kelmar {

namespace {

constexpr size_t kInputSize = 32 * 1024;

QString statusText(DecodeStatus status)
{
    switch (status) {
    case DecodeStatus::Truncated:
        return QStringLiteral("%1 data truncated in %2");
    case DecodeStatus::TooLarge:
        return QStringLiteral("%1 data larger than its declared size in %2");
    case DecodeStatus::TooSmall:
        return QStringLiteral("%1 data smaller than its declared size in %2");
    case DecodeStatus::NeedsMemory:
        return QStringLiteral("%2: compressed with %1 using more memory than Kelmar allows");
    case DecodeStatus::Unsupported:
        return QStringLiteral("%2: compressed with %1 options Kelmar cannot read");
    default:
        return QStringLiteral("%1 data damaged in %2");
    }
}

} // namespace

DecodedEntryReader::Result DecodedEntryReader::read(zip_t* archive, quint64 index,
                                                    const zip_stat_t& st, const QString& name,
                                                    const Sink& sink,
                                                    const LibzipFailure& libzipFailure)
{
    const int method = st.comp_method;
    const QString methodName = compressionMethodName(method);
    const bool aes =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
        (st.encryption_method == ZIP_EM_AES_128 || st.encryption_method == ZIP_EM_AES_192 ||
         st.encryption_method == ZIP_EM_AES_256);
    const bool zipCrypto =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method == ZIP_EM_TRAD_PKWARE;
    auto damaged = [&](DecodeStatus status, const QString& why = QString()) {
        Result r{ZipDamaged, statusText(status).arg(methodName, name) + why};
        if (status == DecodeStatus::NeedsMemory || status == DecodeStatus::Unsupported)
            r.code = ZipUnsupported;
        // A wrong ZipCrypto password passes its check byte once in 256 tries and then reads
        // as garbage, which cannot be told from damage.
        else if (zipCrypto)
            r.detail += QStringLiteral(", or the password is wrong");
        return r;
    };
    // With ZIP_FL_COMPRESSED libzip still decrypts, and for AES checks the authentication
    // code once the last byte has been read, reporting a mismatch as a CRC error.
    auto readFailure = [&](zip_file_t* file) {
        const zip_error_t* error = zip_file_get_error(file);
        if (aes && zip_error_code_zip(error) == ZIP_ER_CRC)
            return Result{ZipDamaged,
                          name + QStringLiteral(": authentication failed (damaged data)")};
        return Result{libzipFailure(error), QString()};
    };

    if (!(st.valid & ZIP_STAT_SIZE))
        return damaged(DecodeStatus::Damaged);
    std::unique_ptr<Decoder> decoder = makeDecoder(method, st.size);
    if (!decoder)
        return Result{ZipUnsupported, name + QStringLiteral(": compressed with ") + methodName +
                                          QStringLiteral(", which Kelmar cannot read")};
    zip_file_t* raw = zip_fopen_index(archive, index, ZIP_FL_COMPRESSED);
    if (!raw)
        return Result{libzipFailure(zip_get_error(archive)), QString()};

    m_input.resize(kInputSize);
    auto* out = reinterpret_cast<unsigned char*>(m_output.data());
    size_t inPos = 0;
    size_t inLength = 0;
    bool inputEnded = false;
    uLong crc = crc32(0L, Z_NULL, 0);
    Result result{ZipOk, QString()};
    for (;;) {
        if (inPos == inLength && !inputEnded) {
            const zip_int64_t n = zip_fread(raw, m_input.data(), m_input.size());
            if (n < 0) {
                result = readFailure(raw);
                break;
            }
            inputEnded = n == 0;
            inPos = 0;
            inLength = size_t(n);
        }
        const DecodeStep step = decoder->decode(m_input.data() + inPos, inLength - inPos,
                                                inputEnded, out, m_output.size());
        inPos += step.consumed;
        if (step.produced) {
            crc = crc32_z(crc, out, step.produced);
            if (sink) {
                result.code = sink(m_output.data(), qint64(step.produced));
                if (result.code != ZipOk)
                    break;
            }
        }
        if (step.status == DecodeStatus::End)
            break;
        if (step.status != DecodeStatus::More) {
            result = damaged(step.status);
            break;
        }
        // A decoder that takes nothing and gives nothing would keep this loop going forever.
        if (step.consumed == 0 && step.produced == 0 && (inPos < inLength || inputEnded)) {
            result = damaged(inputEnded ? DecodeStatus::Truncated : DecodeStatus::Damaged);
            break;
        }
    }

    if (result.code == ZipOk) {
        // The rest of the raw data is read too: AES authenticates only the whole of it.
        quint64 trailing = inLength - inPos;
        while (!inputEnded) {
            const zip_int64_t n = zip_fread(raw, m_input.data(), m_input.size());
            if (n < 0) {
                result = readFailure(raw);
                break;
            }
            inputEnded = n == 0;
            trailing += quint64(n);
        }
        if (result.code == ZipOk && trailing > 0 && !decoder->allowsTrailingData())
            result = damaged(DecodeStatus::TooLarge);
    }
    const int closed = zip_fclose(raw);
    if (result.code == ZipOk && closed != 0) {
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        if (aes && closed == ZIP_ER_CRC)
            result =
                Result{ZipDamaged, name + QStringLiteral(": authentication failed (damaged data)")};
        else
            result = Result{libzipFailure(&error), QString()};
        zip_error_fini(&error);
    }
    // WinZip's AE-2 stores no CRC (0): its authentication code stands for it.
    const bool crcStored = (st.valid & ZIP_STAT_CRC) && !(aes && st.crc == 0);
    if (result.code == ZipOk && crcStored && crc != st.crc) {
        result = damaged(DecodeStatus::Damaged, QStringLiteral(" (CRC error)"));
    }
    return result;
}

} // namespace kelmar
