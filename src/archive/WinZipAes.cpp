// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/WinZipAes.h"

// SHA-1's block function, deprecated as an interface in OpenSSL 3 but kept, is what makes the
// key derivation quick: see deriveKeys.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

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
    return keyBits == 128   ? EVP_aes_128_ecb()
           : keyBits == 192 ? EVP_aes_192_ecb()
                            : EVP_aes_256_ecb();
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

// One more HMAC of a digest: its block, already padded, through SHA-1's block function.
void hmacRound(const SHA_CTX& start, unsigned char* block)
{
    SHA_CTX ctx = start;
    SHA1_Transform(&ctx, block);
    const SHA_LONG h[] = {ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4};
    for (int i = 0; i < 5; ++i) {
        block[4 * i] = static_cast<unsigned char>(h[i] >> 24);
        block[4 * i + 1] = static_cast<unsigned char>(h[i] >> 16);
        block[4 * i + 2] = static_cast<unsigned char>(h[i] >> 8);
        block[4 * i + 3] = static_cast<unsigned char>(h[i]);
    }
}

// PBKDF2's rounds after the first: u is the first round's digest, t their XOR so far.
void iterate(const SHA_CTX& inner, const SHA_CTX& outer, const unsigned char* u, unsigned char* t)
{
    // A 20-byte message after the 64-byte key block: the padding byte, then the length in
    // bits (84 * 8) at the end of the block.
    unsigned char block[SHA_CBLOCK] = {};
    std::memcpy(block, u, SHA_DIGEST_LENGTH);
    block[SHA_DIGEST_LENGTH] = 0x80;
    block[SHA_CBLOCK - 2] = (84 * 8) >> 8;
    block[SHA_CBLOCK - 1] = (84 * 8) & 0xff;
    for (int round = 1; round < kIterations; ++round) {
        hmacRound(inner, block);
        hmacRound(outer, block);
        for (int i = 0; i < SHA_DIGEST_LENGTH; ++i)
            t[i] ^= block[i];
    }
}

} // namespace

// PBKDF2-HMAC-SHA1 as PKCS5_PBKDF2_HMAC computes it, about four times as fast: OpenSSL 3
// spends most of each of its 1000 HMAC rounds setting up and freeing digest contexts, while
// a round is two runs of SHA-1's block function on states computed once. On archives of one
// small file each the derivation is nearly all the work of reading them.
bool deriveKeys(const QByteArray& password, const unsigned char* salt, int keyBits,
                unsigned char* keys)
{
    constexpr int kSha1Block = SHA_CBLOCK;
    unsigned char key[kSha1Block] = {};
    if (password.size() > kSha1Block)
        SHA1(reinterpret_cast<const unsigned char*>(password.constData()), size_t(password.size()),
             key);
    else
        std::memcpy(key, password.constData(), size_t(password.size()));
    SHA_CTX inner, outer;
    unsigned char pad[kSha1Block];
    for (int i = 0; i < kSha1Block; ++i)
        pad[i] = key[i] ^ 0x36;
    SHA1_Init(&inner);
    SHA1_Update(&inner, pad, sizeof pad);
    for (int i = 0; i < kSha1Block; ++i)
        pad[i] = key[i] ^ 0x5c;
    SHA1_Init(&outer);
    SHA1_Update(&outer, pad, sizeof pad);
    OPENSSL_cleanse(key, sizeof key);
    OPENSSL_cleanse(pad, sizeof pad);

    const int length = 2 * keyBits / 8 + kVerifierLength;
    for (int block = 1, done = 0; done < length; ++block) {
        unsigned char u[SHA_DIGEST_LENGTH];
        unsigned char t[SHA_DIGEST_LENGTH];
        SHA_CTX ctx = inner;
        const unsigned char index[4] = {0, 0, 0, static_cast<unsigned char>(block)};
        SHA1_Update(&ctx, salt, size_t(saltLength(keyBits)));
        SHA1_Update(&ctx, index, sizeof index);
        SHA1_Final(u, &ctx);
        ctx = outer;
        SHA1_Update(&ctx, u, sizeof u);
        SHA1_Final(u, &ctx);
        std::memcpy(t, u, sizeof t);
        iterate(inner, outer, u, t);
        const int piece = qMin(length - done, SHA_DIGEST_LENGTH);
        std::memcpy(keys + done, t, size_t(piece));
        done += piece;
    }
    return true;
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
    if (!HMAC(EVP_sha1(), keys + keyLength, keyLength, data, size_t(dataLength), mac, &macLength) ||
        macLength < unsigned(kMacLength) || CRYPTO_memcmp(mac, data + dataLength, kMacLength) != 0)
        return false;
    return decryptCounterMode(keys, keyBits, data, dataLength);
}

} // namespace kelmar::winzip_aes
