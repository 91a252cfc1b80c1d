// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/WholeEntryCheck.h"

#include "archive/BufferBudget.h"
#include "archive/WinZipAes.h"
#include "archive/ZipHandles.h"

#include <libdeflate.h>
#include <zip.h>

#include <memory>

namespace kelmar {

namespace {

struct DecompressorFree
{
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* decompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> one(
        libdeflate_alloc_decompressor());
    return one.get();
}

// A buffer each thread keeps between entries: fresh pages for every entry cost a page fault
// apiece, a fifth of the time of testing a folder of archives. Up to kKeep bytes stay with
// the thread (freed when it ends, with its batch); a larger buffer goes back after its entry.
class Scratch
{
public:
    static constexpr qint64 kKeep = 8 * 1024 * 1024;

    unsigned char* get(qint64 bytes)
    {
        bytes = qMax<qint64>(bytes, 1);
        if (bytes > m_size) {
            m_data.reset();
            m_data.reset(new unsigned char[size_t(bytes)]);
            m_size = bytes;
        }
        return m_data.get();
    }
    void trim()
    {
        if (m_size > kKeep) {
            m_data.reset();
            m_size = 0;
        }
    }

private:
    std::unique_ptr<unsigned char[]> m_data;
    qint64 m_size = 0;
};

struct Scratches
{
    Scratch raw;
    Scratch out;
};

// Trims the thread's buffers however the entry ends.
struct ScratchTrim
{
    Scratches& scratches;
    ~ScratchTrim()
    {
        scratches.raw.trim();
        scratches.out.trim();
    }
};

// The key length of a WinZip AES entry; 0 for any other.
int aesKeyBits(const zip_stat_t& st)
{
    switch (st.encryption_method) {
    case ZIP_EM_AES_128:
        return 128;
    case ZIP_EM_AES_192:
        return 192;
    case ZIP_EM_AES_256:
        return 256;
    default:
        return 0;
    }
}

// Reads the entry's raw bytes (still encrypted when it is) into raw, all packed of them.
bool readRaw(zip_t* archive, quint64 index, bool encrypted, unsigned char* raw, qint64 packed)
{
    const zip_flags_t flags = ZIP_FL_COMPRESSED | (encrypted ? ZIP_FL_ENCRYPTED : 0);
    ZipFilePtr file(zip_fopen_index(archive, index, flags));
    if (!file)
        return false;
    qint64 done = 0;
    while (done < packed) {
        const zip_int64_t n = zip_fread(file.get(), raw + done, zip_uint64_t(packed - done));
        if (n <= 0)
            return false;
        done += n;
    }
    // Raw data is not checked by libzip at close; the close only lets go of the entry.
    zip_fclose(file.release());
    return true;
}

} // namespace

bool wholeEntryPasses(zip_t* archive, quint64 index, const zip_stat_t& st,
                      const QByteArray& password)
{
    return withWholeEntry(archive, index, st, {}, password);
}

bool withWholeEntry(zip_t* archive, quint64 index, const zip_stat_t& st,
                    const std::function<void(const char*, qint64)>& use, const QByteArray& password,
                    bool budgeted)
{
    constexpr zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC |
                                    ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if ((st.valid & needed) != needed)
        return false;
    const int keyBits = aesKeyBits(st);
    if (st.encryption_method != ZIP_EM_NONE && (keyBits == 0 || password.isEmpty()))
        return false;
    if (st.comp_method != ZIP_CM_DEFLATE && st.comp_method != ZIP_CM_STORE)
        return false;
    const qint64 size = qint64(st.size);
    const qint64 packed = qint64(st.comp_size);
    const qint64 header =
        keyBits ? winzip_aes::saltLength(keyBits) + winzip_aes::kVerifierLength : 0;
    const qint64 data = keyBits ? packed - winzip_aes::overhead(keyBits) : packed;
    if (size > BufferBudget::kEntryCap || packed > BufferBudget::kEntryCap || data < 0)
        return false;
    const bool stored = st.comp_method == ZIP_CM_STORE;
    if (stored && data != size)
        return false;
    // WinZip's AE-2 stores no CRC (0): its authentication code stands for it.
    const bool checkCrc = !(keyBits && st.crc == 0);

    const BufferLoan loan =
        budgeted ? BufferLoan(stored ? packed : size + packed) : BufferLoan();
    thread_local Scratches scratches;
    const ScratchTrim trim{scratches};
    unsigned char* raw = scratches.raw.get(packed);
    if (!readRaw(archive, index, keyBits != 0, raw, packed))
        return false;
    // Decrypted in place, once, with the keys derived once.
    if (keyBits && !winzip_aes::openInPlace(password, keyBits, raw, packed))
        return false;
    unsigned char* in = raw + header;
    if (stored) {
        if (checkCrc && quint32(libdeflate_crc32(0, in, size_t(size))) != quint32(st.crc))
            return false;
        if (use)
            use(reinterpret_cast<const char*>(in), size);
        return true;
    }

    libdeflate_decompressor* inflater = decompressor();
    if (!inflater)
        return false;
    unsigned char* out = scratches.out.get(size);
    size_t consumed = 0;
    size_t produced = 0;
    const libdeflate_result r = libdeflate_deflate_decompress_ex(
        inflater, in, size_t(data), out, size_t(size), &consumed, &produced);
    // A stream that ends before its compressed data does is left to the long way to word.
    if (r != LIBDEFLATE_SUCCESS || produced != size_t(size) || consumed != size_t(data))
        return false;
    if (checkCrc && quint32(libdeflate_crc32(0, out, produced)) != quint32(st.crc))
        return false;
    if (use)
        use(reinterpret_cast<const char*>(out), size);
    return true;
}

} // namespace kelmar
