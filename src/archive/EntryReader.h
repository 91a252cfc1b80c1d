// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct zip zip_t;
typedef struct zip_file zip_file_t;
typedef struct zip_error zip_error_t;

namespace kelmar {

class DecodedEntryReader;

// Reads one entry of an open archive as plain bytes, decrypting and inflating, in pieces
// the caller asks for: libzip pulls the data of a new entry this way while it writes.
//
// The entry is checked as it is read: its CRC when the last byte has come, its size against
// the directory, and, for WinZip AES entries that store no CRC (AE-2, as 7-Zip writes them),
// the authentication code before the first byte is handed out. The CRC of what was read is
// computed on the way, so an entry without a stored CRC can still be compared with its copy.
class EntryReader
{
public:
    EntryReader(zip_t* archive, quint64 index, const QByteArray& password);
    ~EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // A result code (ZipError.h); detail() says what went wrong.
    int open();
    // The number of bytes put into data, 0 at the checked end, -1 on an error.
    qint64 read(char* data, qint64 length);
    void close();

    // The CRC-32 of what was read; computed only while computeCrc is on (the default).
    quint32 crc() const { return m_crc; }
    // libzip checks the stored CRC itself: a caller that only reads need not pay for a second.
    void setComputeCrc(bool on) { m_computeCrc = on; }
    // Reads Deflate and BZip2 with Kelmar's own decoders, which also demand that the stream
    // ends exactly with the entry's compressed data; libzip reads past neither end. Off by
    // default; for the reads that judge an entry.
    void setStreamEndChecked(bool on) { m_streamEndChecked = on; }
    qint64 done() const { return m_done; }
    qint64 size() const { return m_size; }
    const QString& name() const { return m_name; }
    int result() const { return m_result; }
    const QString& detail() const { return m_detail; }

    // Reads the entry to its end and checks it; the bytes are dropped.
    int readAll();

    // The result code of a libzip error, with its text in *detail ("what: text").
    static int resultOf(const zip_error_t* error, const QString& what, QString* detail);

private:
    int fail(int code, const QString& detail);
    void failReading(const zip_error_t* error);
    int authenticate();

    zip_t* m_archive;
    quint64 m_index;
    QByteArray m_password;
    zip_file_t* m_file = nullptr;
    // For the methods libzip cannot decompress.
    std::unique_ptr<DecodedEntryReader> m_decoded;
    QString m_name;
    qint64 m_size = 0;
    qint64 m_done = 0;
    quint32 m_crc = 0;
    bool m_noStoredCrc = false;
    bool m_zipCrypto = false;
    bool m_computeCrc = true;
    bool m_streamEndChecked = false;
    bool m_ended = false;
    int m_result = 0;
    QString m_detail;
};

} // namespace kelmar
