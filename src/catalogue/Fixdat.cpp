// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Fixdat.h"

#include "fs/SafeOutput.h"

#include <QXmlStreamWriter>

#include <algorithm>

#include <unistd.h>

namespace kelmar::catalogue {

namespace {

bool lacking(RomState state)
{
    return state == RomState::Missing || state == RomState::Damaged;
}

void writeRom(QXmlStreamWriter& xml, const Rom& rom)
{
    xml.writeEmptyElement(QStringLiteral("rom"));
    xml.writeAttribute(QStringLiteral("name"), rom.name);
    if (rom.size >= 0)
        xml.writeAttribute(QStringLiteral("size"), QString::number(rom.size));
    if (rom.hasCrc)
        xml.writeAttribute(QStringLiteral("crc"), crcText(rom.crc));
    if (rom.hasMd5)
        xml.writeAttribute(QStringLiteral("md5"), hexText(rom.md5.data(), 16));
    if (rom.hasSha1)
        xml.writeAttribute(QStringLiteral("sha1"), hexText(rom.sha1.data(), 20));
    if (!rom.merge.isEmpty())
        xml.writeAttribute(QStringLiteral("merge"), rom.merge);
    if (rom.status != DumpStatus::Good)
        xml.writeAttribute(QStringLiteral("status"), dumpStatusName(rom.status));
}

} // namespace

int fixdatRomCount(const Catalogue& catalogue, const Verification& verification)
{
    int count = 0;
    for (size_t s = 0; s < catalogue.sets.size(); ++s) {
        for (const RomCheck& r : verification.sets[s].roms)
            count += lacking(r.state);
    }
    return count;
}

QByteArray fixdatXml(const Catalogue& catalogue, const Verification& verification)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management "
                                "Datafile//EN\" \"http://www.logiqx.com/Dats/datafile.dtd\">"));
    xml.writeStartElement(QStringLiteral("datafile"));
    xml.writeStartElement(QStringLiteral("header"));
    const QString name = catalogue.header.name.isEmpty() ? QStringLiteral("Catalogue")
                                                         : catalogue.header.name;
    xml.writeTextElement(QStringLiteral("name"), name + QStringLiteral(" (fixdat)"));
    xml.writeTextElement(QStringLiteral("description"),
                         QStringLiteral("What the collection lacks of ") + name);
    if (!catalogue.header.version.isEmpty())
        xml.writeTextElement(QStringLiteral("version"), catalogue.header.version);
    xml.writeEndElement();
    for (size_t s = 0; s < catalogue.sets.size(); ++s) {
        const CatalogueSet& set = catalogue.sets[s];
        const std::vector<RomCheck>& roms = verification.sets[s].roms;
        if (std::none_of(roms.begin(), roms.end(), [](const RomCheck& r) { return lacking(r.state); }))
            continue;
        xml.writeStartElement(QStringLiteral("game"));
        xml.writeAttribute(QStringLiteral("name"), set.name);
        if (!set.cloneOf.isEmpty())
            xml.writeAttribute(QStringLiteral("cloneof"), set.cloneOf);
        if (!set.romOf.isEmpty())
            xml.writeAttribute(QStringLiteral("romof"), set.romOf);
        if (set.isBios)
            xml.writeAttribute(QStringLiteral("isbios"), QStringLiteral("yes"));
        xml.writeTextElement(QStringLiteral("description"),
                             set.description.isEmpty() ? set.name : set.description);
        for (size_t r = 0; r < set.roms.size(); ++r) {
            if (lacking(roms[r].state))
                writeRom(xml, set.roms[r]);
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

int writeNewFile(const QString& path, const QByteArray& bytes)
{
    fs::SafeOutput output(path);
    int err = output.begin();
    if (err == 0)
        err = fs::writeAll(output.fd(), bytes.constData(), bytes.size());
    if (err == 0)
        err = output.finishWriting();
    if (err == 0)
        err = output.flush();
    if (err == 0)
        err = output.commitNew(true);
    return err;
}

} // namespace kelmar::catalogue
