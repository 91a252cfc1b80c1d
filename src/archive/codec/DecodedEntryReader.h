// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/codec/Decoder.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

typedef struct zip zip_t;
typedef struct zip_file zip_file_t;
typedef struct zip_stat zip_stat_t;

namespace kelmar {

// Reads an entry whose method libzip cannot decompress (see kelmarDecodes): libzip hands out
// the raw data, decrypted when the entry is encrypted and with AES's authentication code
// checked, and one of Kelmar's decoders turns it into the entry's bytes, in pieces the caller
// asks for. At the end the size and the CRC-32 are checked.
class DecodedEntryReader
{
public:
    // st: the entry's zip_stat_index; name: the entry's name as logs show it. The password
    // decrypts an encrypted entry; empty for the archive's default password.
    DecodedEntryReader(zip_t* archive, quint64 index, const zip_stat_t& st, const QString& name,
                       const QByteArray& password = QByteArray());
    ~DecodedEntryReader();
    DecodedEntryReader(const DecodedEntryReader&) = delete;
    DecodedEntryReader& operator=(const DecodedEntryReader&) = delete;

    // A result code (ZipError.h); detail() says what went wrong.
    int open();
    // The number of bytes put into data, 0 at the checked end, -1 on an error.
    qint64 read(char* data, qint64 length);

    int result() const { return m_result; }
    const QString& detail() const { return m_detail; }

private:
    int fail(int code, const QString& detail);
    int damaged(DecodeStatus status, const QString& why = QString());
    int readFailure();
    int finish();

    zip_t* m_archive;
    quint64 m_index;
    QByteArray m_password;
    QString m_name;
    QString m_method;
    int m_methodNumber = 0;
    quint64 m_size = 0;
    quint32 m_storedCrc = 0;
    bool m_checkCrc = false;
    bool m_aes = false;
    bool m_zipCrypto = false;

    std::unique_ptr<Decoder> m_decoder;
    zip_file_t* m_raw = nullptr;
    std::vector<unsigned char> m_input;
    size_t m_inPos = 0;
    size_t m_inLength = 0;
    bool m_inputEnded = false;
    bool m_streamEnded = false;
    bool m_finished = false;
    quint32 m_crc = 0;
    int m_result = 0;
    QString m_detail;
};

} // namespace kelmar
