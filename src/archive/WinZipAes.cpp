// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/WinZipAes.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstring>
#include <memory>

namespace kelmar::winzip_aes {

namespace {

// WinZip derives its keys with PBKDF2-HMAC-SHA1 and 1000 iterations.
constexpr int kIterations = 1000;
constexpr int kBlock = 16;
// Counter blocks encrypted in one call.
constexpr int kBlocksAtOnce = 256;

struct CipherFree
{
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const EVP_CIPHER* ecbFor(int keyBits)
{
    return keyBits == 128 ? EVP_aes_128_ecb() : keyBits == 192 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}

// XORs data with WinZip's key stream: AES of a 16-byte little-endian counter starting at 1.
bool decryptCounterMode(const unsigned char* key, int keyBits, unsigned char* data, qint64 length)
{
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), ecbFor(keyBits), nullptr, key, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        return false;
    unsigned char counters[kBlocksAtOnce * kBlock] = {};
    unsigned char stream[kBlocksAtOnce * kBlock];
    quint64 counter = 1;
    for (qint64 done = 0; done < length;) {
        const qint64 piece = qMin<qint64>(length - done, sizeof counters);
        const int blocks = int((piece + kBlock - 1) / kBlock);
        for (int b = 0; b < blocks; ++b, ++counter) {
            for (int i = 0; i < 8; ++i)
                counters[b * kBlock + i] = static_cast<unsigned char>(counter >> (8 * i));
        }
        int produced = 0;
        if (EVP_EncryptUpdate(ctx.get(), stream, &produced, counters, blocks * kBlock) != 1 ||
            produced != blocks * kBlock)
            return false;
        for (qint64 i = 0; i < piece; ++i)
            data[done + i] ^= stream[i];
        done += piece;
    }
    return true;
}

} // namespace

bool deriveKeys(const QByteArray& password, const unsigned char* salt, int keyBits,
                unsigned char* keys)
{
    return PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), salt,
                             saltLength(keyBits), kIterations, EVP_sha1(),
                             2 * keyBits / 8 + kVerifierLength, keys) == 1;
}

bool openInPlace(const QByteArray& password, int keyBits, unsigned char* raw, qint64 rawLength)
{
    if (keyBits != 128 && keyBits != 192 && keyBits != 256)
        return false;
    const qint64 dataLength = rawLength - overhead(keyBits);
    if (dataLength < 0 || password.isEmpty())
        return false;
    const int keyLength = keyBits / 8;
    unsigned char keys[2 * 32 + kVerifierLength];
    if (!deriveKeys(password, raw, keyBits, keys))
        return false;
    unsigned char* data = raw + saltLength(keyBits) + kVerifierLength;
    if (std::memcmp(keys + 2 * keyLength, data - kVerifierLength, kVerifierLength) != 0)
        return false;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(EVP_sha1(), keys + keyLength, keyLength, data, size_t(dataLength), mac,
              &macLength) ||
        macLength < unsigned(kMacLength) ||
        CRYPTO_memcmp(mac, data + dataLength, kMacLength) != 0)
        return false;
    return decryptCounterMode(keys, keyBits, data, dataLength);
}

} // namespace kelmar::winzip_aes
