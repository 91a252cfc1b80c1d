// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/codec/CompressionMethods.h"

#include "archive/codec/Deflate64Decoder.h"
#include "archive/codec/LzmaDecoder.h"
#include "archive/codec/StreamDecoders.h"
#include "archive/codec/XzDecoder.h"
#include "archive/codec/ZstdDecoder.h"

namespace kelmar {

namespace {

enum Method {
    Store = 0,
    Deflate = 8,
    Deflate64 = 9,
    BZip2 = 12,
    Lzma = 14,
    Zstandard = 93,
    Xz = 95,
    Jpeg = 96,
    WavPack = 97,
    PPMd = 98,
};

} // namespace

QString compressionMethodName(int method)
{
    switch (method) {
    case Store:
        return QStringLiteral("Store");
    case Deflate:
        return QStringLiteral("Deflate");
    case Deflate64:
        return QStringLiteral("Deflate64");
    case BZip2:
        return QStringLiteral("BZip2");
    case Lzma:
        return QStringLiteral("LZMA");
    case Zstandard:
        return QStringLiteral("Zstandard");
    case Xz:
        return QStringLiteral("XZ");
    case Jpeg:
        return QStringLiteral("JPEG");
    case WavPack:
        return QStringLiteral("WavPack");
    case PPMd:
        return QStringLiteral("PPMd");
    default:
        return QStringLiteral("method %1").arg(method);
    }
}

bool kelmarDecodes(int method)
{
    return method == Deflate64 || method == Lzma || method == Zstandard || method == Xz;
}

std::unique_ptr<Decoder> makeDecoder(int method, uint64_t declaredSize)
{
    switch (method) {
    case Deflate:
        return makeInflateDecoder(declaredSize);
    case BZip2:
        return makeBZip2Decoder(declaredSize);
    case Deflate64:
        return std::make_unique<Deflate64Decoder>(declaredSize);
    case Lzma:
        return std::make_unique<LzmaDecoder>(declaredSize);
    case Zstandard:
        return std::make_unique<ZstdDecoder>(declaredSize);
    case Xz:
        return std::make_unique<XzDecoder>(declaredSize);
    default:
        return nullptr;
    }
}

} // namespace kelmar
