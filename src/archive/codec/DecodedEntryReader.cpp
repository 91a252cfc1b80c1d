// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/DecodedEntryReader.h"

#include "archive/EntryReader.h"
#include "archive/ZipError.h"
#include "archive/codec/CompressionMethods.h"

#include <zip.h>
#include <zlib.h>

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

DecodedEntryReader::DecodedEntryReader(zip_t* archive, quint64 index, const zip_stat_t& st,
                                       const QString& name, const QByteArray& password)
    : m_archive(archive), m_index(index), m_password(password), m_name(name),
      m_method(compressionMethodName(st.comp_method)), m_methodNumber(st.comp_method),
      m_size(st.size), m_storedCrc(st.crc)
{
    const bool encryption = st.valid & ZIP_STAT_ENCRYPTION_METHOD;
    m_aes = encryption &&
            (st.encryption_method == ZIP_EM_AES_128 || st.encryption_method == ZIP_EM_AES_192 ||
             st.encryption_method == ZIP_EM_AES_256);
    m_zipCrypto = encryption && st.encryption_method == ZIP_EM_TRAD_PKWARE;
    if (!encryption || st.encryption_method == ZIP_EM_NONE)
        m_password.clear();
    // WinZip's AE-2 stores no CRC (0): its authentication code stands for it.
    m_checkCrc = (st.valid & ZIP_STAT_CRC) && !(m_aes && st.crc == 0);
    if (!(st.valid & ZIP_STAT_SIZE))
        fail(ZipDamaged, m_name + QStringLiteral(": no size in the directory"));
}

DecodedEntryReader::~DecodedEntryReader()
{
    if (m_raw)
        zip_fclose(m_raw);
}

int DecodedEntryReader::fail(int code, const QString& detail)
{
    if (m_result == ZipOk) {
        m_result = code;
        m_detail = detail;
    }
    return m_result;
}

int DecodedEntryReader::damaged(DecodeStatus status, const QString& why)
{
    QString detail = statusText(status).arg(m_method, m_name) + why;
    if (status == DecodeStatus::NeedsMemory || status == DecodeStatus::Unsupported)
        return fail(ZipUnsupported, detail);
    // A wrong ZipCrypto password passes its check byte once in 256 tries and then reads as
    // garbage, which cannot be told from damage.
    if (m_zipCrypto)
        detail += QStringLiteral(", or the password is wrong");
    return fail(ZipDamaged, detail);
}

// With ZIP_FL_COMPRESSED libzip still decrypts, and for AES checks the authentication code
// once the last byte has been read, reporting a mismatch as a CRC error.
int DecodedEntryReader::readFailure()
{
    const zip_error_t* error = zip_file_get_error(m_raw);
    if (m_aes && zip_error_code_zip(error) == ZIP_ER_CRC)
        return fail(ZipDamaged, m_name + QStringLiteral(": authentication failed (damaged data)"));
    QString detail;
    const int code = EntryReader::resultOf(error, m_name, &detail);
    return fail(code, detail);
}

int DecodedEntryReader::open()
{
    if (m_result != ZipOk)
        return m_result;
    m_decoder = makeDecoder(m_methodNumber, m_size);
    if (!m_decoder)
        return fail(ZipUnsupported, m_name + QStringLiteral(": compressed with ") + m_method +
                                        QStringLiteral(", which Kelmar cannot read"));
    m_raw = m_password.isEmpty() ? zip_fopen_index(m_archive, m_index, ZIP_FL_COMPRESSED)
                                 : zip_fopen_index_encrypted(m_archive, m_index, ZIP_FL_COMPRESSED,
                                                             m_password.constData());
    if (!m_raw) {
        QString detail;
        const int code = EntryReader::resultOf(zip_get_error(m_archive), m_name, &detail);
        return fail(code, detail);
    }
    m_input.resize(kInputSize);
    m_crc = quint32(crc32(0L, Z_NULL, 0));
    return ZipOk;
}

qint64 DecodedEntryReader::read(char* data, qint64 length)
{
    if (m_result != ZipOk || (!m_raw && !m_finished))
        return -1;
    auto* out = reinterpret_cast<unsigned char*>(data);
    while (!m_finished) {
        if (m_streamEnded)
            return finish() == ZipOk ? 0 : -1;
        if (m_inPos == m_inLength && !m_inputEnded) {
            const zip_int64_t n = zip_fread(m_raw, m_input.data(), m_input.size());
            if (n < 0) {
                readFailure();
                return -1;
            }
            m_inputEnded = n == 0;
            m_inPos = 0;
            m_inLength = size_t(n);
        }
        const DecodeStep step = m_decoder->decode(m_input.data() + m_inPos, m_inLength - m_inPos,
                                                  m_inputEnded, out, size_t(length));
        m_inPos += step.consumed;
        if (step.produced)
            m_crc = quint32(crc32_z(m_crc, out, step.produced));
        if (step.status == DecodeStatus::End) {
            m_streamEnded = true;
        } else if (step.status != DecodeStatus::More) {
            damaged(step.status);
            return -1;
        } else if (step.consumed == 0 && step.produced == 0 &&
                   (m_inPos < m_inLength || m_inputEnded)) {
            // A decoder that takes nothing and gives nothing would keep this loop going.
            damaged(m_inputEnded ? DecodeStatus::Truncated : DecodeStatus::Damaged);
            return -1;
        }
        if (step.produced)
            return qint64(step.produced);
    }
    return 0;
}

int DecodedEntryReader::finish()
{
    m_finished = true;
    // The rest of the raw data is read too: AES authenticates only the whole of it.
    quint64 trailing = m_inLength - m_inPos;
    while (!m_inputEnded) {
        const zip_int64_t n = zip_fread(m_raw, m_input.data(), m_input.size());
        if (n < 0)
            return readFailure();
        m_inputEnded = n == 0;
        trailing += quint64(n);
    }
    // The stream must end where the entry's compressed data does, as 7-Zip also demands:
    // bytes left over mean a stream cut short of its data, or sizes that were changed.
    if (trailing > 0)
        return fail(ZipDamaged,
                    m_method + QStringLiteral(" stream ends before the compressed data in ") +
                        m_name +
                        (m_zipCrypto ? QStringLiteral(", or the password is wrong") : QString()));
    const int closed = zip_fclose(m_raw);
    m_raw = nullptr;
    if (closed != 0) {
        if (m_aes && closed == ZIP_ER_CRC)
            return fail(ZipDamaged,
                        m_name + QStringLiteral(": authentication failed (damaged data)"));
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        QString detail;
        const int code = EntryReader::resultOf(&error, m_name, &detail);
        zip_error_fini(&error);
        return fail(code, detail);
    }
    if (m_checkCrc && m_crc != m_storedCrc)
        return damaged(DecodeStatus::Damaged, QStringLiteral(" (CRC error)"));
    return ZipOk;
}

} // namespace kelmar
