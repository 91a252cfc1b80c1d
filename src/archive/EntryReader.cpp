// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/EntryReader.h"

#include "archive/AesAuthenticator.h"
#include "archive/EntryName.h"
#include "archive/ZipError.h"
#include "archive/codec/CompressionMethods.h"
#include "archive/codec/DecodedEntryReader.h"
#include "fs/NativeName.h"

#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <vector>

namespace kelmar {

EntryReader::EntryReader(zip_t* archive, quint64 index, const QByteArray& password)
    : m_archive(archive), m_index(index), m_password(password)
{
}

EntryReader::~EntryReader()
{
    close();
}

int EntryReader::resultOf(const zip_error_t* error, const QString& what, QString* detail)
{
    const int code = zip_error_code_zip(error);
    const int sys = zip_error_code_system(error);
    *detail = what + QStringLiteral(": ") +
              QString::fromLocal8Bit(zip_error_strerror(const_cast<zip_error_t*>(error)));
    switch (code) {
    case ZIP_ER_OK:
        return ZipOk;
    case ZIP_ER_NOENT:
        return ZipFileNotFound;
    case ZIP_ER_OPEN:
        return sys == ENOENT ? ZipFileNotFound : ZipReadError;
    case ZIP_ER_NOZIP:
        return ZipNotAZip;
    case ZIP_ER_INCONS:
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_EOF:
        return ZipDamaged;
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return ZipPassword;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_MULTIDISK:
        return ZipUnsupported;
    case ZIP_ER_WRITE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_CLOSE:
    case ZIP_ER_REMOVE:
    case ZIP_ER_RDONLY:
        // The one reading of a refused write; only an error the system gave has one.
        return zipResultOfWrite(zip_error_system_type(error) == ZIP_ET_SYS ? sys : 0);
    case ZIP_ER_CANCELLED:
        return ZipAborted;
    default:
        return ZipReadError;
    }
}

int EntryReader::fail(int code, const QString& detail)
{
    if (m_result == ZipOk) {
        m_result = code;
        m_detail = detail;
    }
    return m_result;
}

void EntryReader::failReading(const zip_error_t* error)
{
    QString detail;
    const int code = resultOf(error, m_name, &detail);
    // With the old ZipCrypto a wrong password passes its check byte once in 256 tries and then
    // reads as garbage, which cannot be told apart from damage. Like 7-Zip, count it as damage
    // (the right password must not hide a damaged entry), and say both.
    if (code == ZipDamaged && m_zipCrypto)
        detail = m_name + QStringLiteral(": damaged, or the password is wrong");
    fail(code, detail);
}

int EntryReader::authenticate()
{
    zip_stat_t st;
    zip_stat_index(m_archive, m_index, 0, &st);
    const int bits = st.encryption_method == ZIP_EM_AES_128   ? 128
                     : st.encryption_method == ZIP_EM_AES_192 ? 192
                                                              : 256;
    AesAuthenticator check(m_password, bits);
    zip_file_t* raw = zip_fopen_index(m_archive, m_index, ZIP_FL_ENCRYPTED);
    if (!raw) {
        QString detail;
        const int code = resultOf(zip_get_error(m_archive), m_name, &detail);
        return fail(code, detail);
    }
    std::vector<char> buffer(32 * 1024);
    int result = ZipOk;
    QString detail;
    for (;;) {
        const zip_int64_t n = zip_fread(raw, buffer.data(), buffer.size());
        if (n < 0) {
            // libzip compares a stored entry's raw bytes with the absent CRC: not an error here.
            if (zip_error_code_zip(zip_file_get_error(raw)) != ZIP_ER_CRC)
                result = resultOf(zip_file_get_error(raw), m_name, &detail);
            break;
        }
        if (n == 0)
            break;
        check.addData(buffer.data(), n);
    }
    const int closed = zip_fclose(raw);
    if (result == ZipOk && closed != 0 && closed != ZIP_ER_CRC) {
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        result = resultOf(&error, m_name, &detail);
        zip_error_fini(&error);
    }
    if (result != ZipOk)
        return fail(result, detail);
    switch (check.finish()) {
    case AesAuthenticator::Verdict::Good:
        return ZipOk;
    case AesAuthenticator::Verdict::WrongPassword:
        return fail(ZipPassword, m_name + QStringLiteral(": wrong password"));
    case AesAuthenticator::Verdict::Truncated:
        return fail(ZipDamaged, m_name + QStringLiteral(": encrypted data truncated"));
    case AesAuthenticator::Verdict::Failed:
        return fail(ZipUnsupported,
                    m_name + QStringLiteral(": authentication could not be checked"));
    case AesAuthenticator::Verdict::Damaged:
        break;
    }
    return fail(ZipDamaged, m_name + QStringLiteral(": authentication failed (damaged data)"));
}

int EntryReader::open()
{
    close();
    m_result = ZipOk;
    m_detail.clear();
    m_done = 0;
    m_crc = quint32(crc32(0, nullptr, 0));
    m_ended = false;
    zip_stat_t st;
    if (zip_stat_index(m_archive, m_index, 0, &st) != 0) {
        QString detail;
        const int code = resultOf(zip_get_error(m_archive), QStringLiteral("entry"), &detail);
        return fail(code, detail);
    }
    m_name = fs::displayName(entryNameOf(m_archive, m_index));
    m_size = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : -1;
    const bool encrypted =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    if (encrypted && !zip_encryption_method_supported(st.encryption_method, 0))
        return fail(ZipUnsupported, m_name + QStringLiteral(": unsupported encryption"));
    if (encrypted && m_password.isEmpty())
        return fail(ZipPassword, m_name + QStringLiteral(": encrypted, and no password given"));
    m_zipCrypto = encrypted && st.encryption_method == ZIP_EM_TRAD_PKWARE;
    const bool checkedStream = m_streamEndChecked && (st.valid & ZIP_STAT_COMP_METHOD) &&
                               (st.comp_method == ZIP_CM_DEFLATE || st.comp_method == ZIP_CM_BZIP2);
    if (checkedStream || ((st.valid & ZIP_STAT_COMP_METHOD) &&
                          !zip_compression_method_supported(st.comp_method, 0))) {
        if (!checkedStream && !kelmarDecodes(st.comp_method))
            return fail(ZipUnsupported, m_name + QStringLiteral(": compressed with ") +
                                            compressionMethodName(st.comp_method) +
                                            QStringLiteral(", which Kelmar cannot read"));
        m_decoded =
            std::make_unique<DecodedEntryReader>(m_archive, m_index, st, m_name, m_password);
        return m_decoded->open() == ZipOk ? ZipOk : fail(m_decoded->result(), m_decoded->detail());
    }
    const bool aes = encrypted && (st.encryption_method == ZIP_EM_AES_128 ||
                                   st.encryption_method == ZIP_EM_AES_192 ||
                                   st.encryption_method == ZIP_EM_AES_256);
    // WinZip's AE-2 stores no CRC, only the HMAC over the encrypted data, which libzip 1.7
    // does not check, while it still compares the CRC with the stored 0.
    m_noStoredCrc = aes && (st.valid & ZIP_STAT_CRC) && st.crc == 0 && m_size > 0;
    if (m_noStoredCrc && authenticate() != ZipOk)
        return m_result;
    m_file = encrypted ? zip_fopen_index_encrypted(m_archive, m_index, 0, m_password.constData())
                       : zip_fopen_index(m_archive, m_index, 0);
    if (!m_file) {
        QString detail;
        const int code = resultOf(zip_get_error(m_archive), m_name, &detail);
        return fail(code, detail);
    }
    return ZipOk;
}

qint64 EntryReader::read(char* data, qint64 length)
{
    if (m_result != ZipOk)
        return -1;
    if (m_ended || (!m_file && !m_decoded))
        return 0;
    length = qMin<qint64>(length, 1 << 30);
    const zip_int64_t n =
        m_decoded ? m_decoded->read(data, length) : zip_fread(m_file, data, zip_uint64_t(length));
    if (m_decoded && n <= 0) {
        // The decoder has checked size and CRC itself.
        m_ended = true;
        if (n < 0) {
            fail(m_decoded->result(), m_decoded->detail());
            return -1;
        }
        return 0;
    }
    if (n < 0) {
        const zip_error_t* error = zip_file_get_error(m_file);
        if (!(m_noStoredCrc && zip_error_code_zip(error) == ZIP_ER_CRC && m_done == m_size)) {
            failReading(error);
            return -1;
        }
    }
    if (n > 0) {
        m_done += n;
        if (m_computeCrc)
            m_crc = quint32(crc32(m_crc, reinterpret_cast<const Bytef*>(data), uInt(n)));
        return n;
    }
    // The end: the CRC is checked when the last byte has been read, and again at close.
    m_ended = true;
    const int closed = zip_fclose(m_file);
    m_file = nullptr;
    if (closed != 0 && !(m_noStoredCrc && closed == ZIP_ER_CRC)) {
        zip_error_t error;
        zip_error_init_with_code(&error, closed);
        failReading(&error);
        zip_error_fini(&error);
        return -1;
    }
    if (m_size >= 0 && m_done != m_size) {
        fail(ZipDamaged, m_name + QStringLiteral(": size differs from directory"));
        return -1;
    }
    return 0;
}

int EntryReader::readAll()
{
    if (open() != ZipOk)
        return m_result;
    std::vector<char> buffer(32 * 1024);
    qint64 n;
    while ((n = read(buffer.data(), qint64(buffer.size()))) > 0) {
    }
    close();
    return m_result;
}

void EntryReader::close()
{
    m_decoded.reset();
    if (m_file)
        zip_fclose(m_file);
    m_file = nullptr;
}

} // namespace kelmar
