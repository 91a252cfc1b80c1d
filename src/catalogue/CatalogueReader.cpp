// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CatalogueReader.h"

#include "catalogue/ReadFields.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace kelmar::catalogue {

namespace {

// The value of an attribute that names a hash: absent, or exactly so many hex digits.
bool hashAttribute(QXmlStreamReader& xml, const QXmlStreamAttributes& attrs, QLatin1String key,
                   quint8* out, int bytes, bool* has)
{
    const QStringView text = attrs.value(key);
    *has = false;
    if (text.isEmpty())
        return true;
    const QByteArray latin = text.toLatin1();
    if (!parseHex(latin.constData(), int(latin.size()), out, bytes)) {
        xml.raiseError(QStringLiteral("%1 '%2' is not %3 hex digits")
                           .arg(key, text, QString::number(bytes * 2)));
        return false;
    }
    *has = true;
    return true;
}

bool readRomElement(QXmlStreamReader& xml, Rom& rom)
{
    const QXmlStreamAttributes attrs = xml.attributes();
    rom.name = attrs.value(QLatin1String("name")).toString();
    rom.merge = attrs.value(QLatin1String("merge")).toString();
    if (rom.merge == rom.name)
        rom.merge = rom.name; // shares the text
    rom.status = dumpStatusOf(attrs.value(QLatin1String("status")).toLatin1());
    const QStringView size = attrs.value(QLatin1String("size"));
    if (!size.isEmpty()) {
        bool ok = false;
        rom.size = size.toLongLong(&ok);
        if (!ok || rom.size < 0) {
            xml.raiseError(QStringLiteral("size '%1' is not a number").arg(size));
            return false;
        }
    }
    const QStringView crc = attrs.value(QLatin1String("crc"));
    if (!crc.isEmpty()) {
        const QByteArray latin = crc.toLatin1();
        if (!parseCrc(latin.constData(), int(latin.size()), &rom.crc)) {
            xml.raiseError(QStringLiteral("crc '%1' is not a hex number").arg(crc));
            return false;
        }
        rom.hasCrc = true;
    }
    return hashAttribute(xml, attrs, QLatin1String("md5"), rom.md5.data(), 16, &rom.hasMd5) &&
           hashAttribute(xml, attrs, QLatin1String("sha1"), rom.sha1.data(), 20, &rom.hasSha1);
}

bool readDiskElement(QXmlStreamReader& xml, Disk& disk)
{
    const QXmlStreamAttributes attrs = xml.attributes();
    disk.name = attrs.value(QLatin1String("name")).toString();
    disk.merge = attrs.value(QLatin1String("merge")).toString();
    disk.status = dumpStatusOf(attrs.value(QLatin1String("status")).toLatin1());
    return hashAttribute(xml, attrs, QLatin1String("md5"), disk.md5.data(), 16, &disk.hasMd5) &&
           hashAttribute(xml, attrs, QLatin1String("sha1"), disk.sha1.data(), 20, &disk.hasSha1);
}

bool readSetElement(QXmlStreamReader& xml, CatalogueSet& set)
{
    const QXmlStreamAttributes attrs = xml.attributes();
    set.name = attrs.value(QLatin1String("name")).toString();
    set.cloneOf = attrs.value(QLatin1String("cloneof")).toString();
    set.romOf = attrs.value(QLatin1String("romof")).toString();
    set.isBios = xml.name() == QLatin1String("resource") ||
                 attrs.value(QLatin1String("isbios")) == QLatin1String("yes");
    if (set.name.isEmpty()) {
        xml.raiseError(QStringLiteral("a %1 without a name").arg(xml.name()));
        return false;
    }
    while (xml.readNextStartElement()) {
        const QStringView element = xml.name();
        if (element == QLatin1String("rom")) {
            set.roms.emplace_back();
            if (!readRomElement(xml, set.roms.back()))
                return false;
            xml.skipCurrentElement();
        } else if (element == QLatin1String("disk")) {
            set.disks.emplace_back();
            if (!readDiskElement(xml, set.disks.back()))
                return false;
            xml.skipCurrentElement();
        } else if (element == QLatin1String("description")) {
            set.description = xml.readElementText();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (set.description == set.name)
        set.description = set.name; // most catalogues repeat the name: one copy of the text
    return !xml.hasError();
}

void readHeaderElement(QXmlStreamReader& xml, CatalogueHeader& header)
{
    while (xml.readNextStartElement()) {
        const QStringView element = xml.name();
        if (element == QLatin1String("name"))
            header.name = xml.readElementText();
        else if (element == QLatin1String("description"))
            header.description = xml.readElementText();
        else if (element == QLatin1String("version"))
            header.version = xml.readElementText();
        else
            xml.skipCurrentElement();
    }
}

std::optional<Catalogue> readXml(QXmlStreamReader& xml, QString* error)
{
    Catalogue catalogue;
    if (xml.readNextStartElement()) {
        while (xml.readNextStartElement()) {
            const QStringView element = xml.name();
            if (element == QLatin1String("header")) {
                readHeaderElement(xml, catalogue.header);
            } else if (element == QLatin1String("game") || element == QLatin1String("machine") ||
                       element == QLatin1String("resource")) {
                catalogue.sets.emplace_back();
                if (!readSetElement(xml, catalogue.sets.back()))
                    break;
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    if (!xml.hasError() && !xml.atEnd()) {
        // What follows the root element: only white space, comments and the end.
        while (!xml.atEnd() && !xml.hasError())
            xml.readNext();
    }
    if (xml.hasError()) {
        *error = QStringLiteral("line %1, column %2: %3")
                     .arg(xml.lineNumber())
                     .arg(xml.columnNumber() + 1) // Qt counts columns from 0
                     .arg(xml.errorString());
        return std::nullopt;
    }
    catalogue.index();
    return catalogue;
}

} // namespace

CatalogueFormat detectFormat(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        // A byte-order mark starts XML only (the text form has none).
        return c == '<' || c == '\xef' || c == '\xfe' || c == '\xff' ? CatalogueFormat::LogiqxXml
                                                                    : CatalogueFormat::ClrMamePro;
    }
    return CatalogueFormat::ClrMamePro;
}

std::optional<Catalogue> parseLogiqxXml(const QByteArray& bytes, QString* error)
{
    QXmlStreamReader xml(bytes);
    return readXml(xml, error);
}

std::optional<Catalogue> parseCatalogue(const QByteArray& bytes, QString* error)
{
    return detectFormat(bytes) == CatalogueFormat::LogiqxXml ? parseLogiqxXml(bytes, error)
                                                            : parseClrMamePro(bytes, error);
}

std::optional<Catalogue> loadCatalogue(const QString& path, QString* error)
{
    QFile file(path);
    const QString shown = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = shown + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    const QByteArray start = file.peek(4096);
    std::optional<Catalogue> catalogue;
    if (detectFormat(start) == CatalogueFormat::LogiqxXml) {
        // Streamed from the file: a large catalogue is never whole in memory.
        QXmlStreamReader xml(&file);
        catalogue = readXml(xml, error);
    } else {
        catalogue = parseClrMamePro(file.readAll(), error);
    }
    if (!catalogue)
        *error = shown + QStringLiteral(": ") + *error;
    return catalogue;
}

} // namespace kelmar::catalogue
