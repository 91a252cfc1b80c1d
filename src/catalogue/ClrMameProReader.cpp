// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CatalogueReader.h"
#include "catalogue/ReadFields.h"

#include <QStringDecoder>

#include <cstring>

namespace kelmar::catalogue {

DumpStatus dumpStatusOf(const QByteArray& text)
{
    if (text == "nodump")
        return DumpStatus::NoDump;
    if (text == "baddump")
        return DumpStatus::BadDump;
    if (text == "verified")
        return DumpStatus::Verified;
    return DumpStatus::Good;
}

bool parseCrc(const char* text, int length, quint32* crc)
{
    if (length < 1 || length > 8)
        return false;
    quint32 value = 0;
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value << 4 | quint32(digit);
    }
    *crc = value;
    return true;
}

namespace {

struct Token
{
    enum Kind { End, Open, Close, Word, Bad } kind = End;
    const char* text = nullptr;
    int length = 0;
    bool escaped = false; // a quoted word holding backslash escapes
    int line = 0;
};

// The clrmamepro text form: blocks "keyword ( key value ... )", values bare words or quoted
// text (backslash escapes a quote or a backslash), nested blocks for rom and disk.
class TextReader
{
public:
    TextReader(const QByteArray& bytes, bool latin1)
        : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size()), m_latin1(latin1)
    {
    }

    std::optional<Catalogue> read(QString* error);

private:
    Token next();
    QString text(const Token& t) const;
    QByteArray bytes(const Token& t) const { return QByteArray(t.text, t.length); }
    bool fail(int line, const QString& message);
    template <typename OnKey> bool readBlock(const char* what, int openLine, OnKey onKey);
    bool skipValue(const Token& value);
    bool readSet(CatalogueSet& set, int openLine);
    bool readRom(Rom& rom, int openLine);
    bool readDisk(Disk& disk, int openLine);
    bool hash(const Token& key, const Token& value, quint8* out, int bytes, bool* has);

    const char* m_p;
    const char* m_end;
    bool m_latin1;
    int m_line = 1;
    QString m_error;
};

Token TextReader::next()
{
    while (m_p < m_end) {
        const char c = *m_p;
        if (c == '\n')
            ++m_line;
        else if (c != ' ' && c != '\t' && c != '\r')
            break;
        ++m_p;
    }
    Token t;
    t.line = m_line;
    if (m_p == m_end)
        return t;
    const char c = *m_p;
    if (c == '(' || c == ')') {
        t.kind = c == '(' ? Token::Open : Token::Close;
        ++m_p;
        return t;
    }
    t.kind = Token::Word;
    if (c == '"') {
        t.text = ++m_p;
        while (m_p < m_end && *m_p != '"' && *m_p != '\n') {
            if (*m_p == '\\' && m_p + 1 < m_end && (m_p[1] == '"' || m_p[1] == '\\')) {
                t.escaped = true;
                ++m_p;
            }
            ++m_p;
        }
        if (m_p == m_end || *m_p != '"') {
            t.kind = Token::Bad;
            return t;
        }
        t.length = int(m_p - t.text);
        ++m_p;
        return t;
    }
    t.text = m_p;
    while (m_p < m_end && *m_p != ' ' && *m_p != '\t' && *m_p != '\r' && *m_p != '\n' &&
           *m_p != '(' && *m_p != ')')
        ++m_p;
    t.length = int(m_p - t.text);
    return t;
}

QString TextReader::text(const Token& t) const
{
    QByteArray raw = QByteArray::fromRawData(t.text, t.length);
    if (t.escaped) {
        QByteArray plain;
        plain.reserve(t.length);
        for (int i = 0; i < t.length; ++i) {
            if (raw[i] == '\\' && i + 1 < t.length && (raw[i + 1] == '"' || raw[i + 1] == '\\'))
                ++i;
            plain.append(raw[i]);
        }
        raw = plain;
    }
    return m_latin1 ? QString::fromLatin1(raw) : QString::fromUtf8(raw);
}

bool TextReader::fail(int line, const QString& message)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("line %1: %2").arg(line).arg(message);
    return false;
}

// Reads "key value" pairs up to the block's ")", handing each to onKey(key, value), which
// returns false to stop (after fail) and may read a nested block when value is "(".
template <typename OnKey> bool TextReader::readBlock(const char* what, int openLine, OnKey onKey)
{
    for (;;) {
        const Token key = next();
        switch (key.kind) {
        case Token::Close:
            return true;
        case Token::End:
            return fail(key.line, QStringLiteral("the file ends inside the '%1' block begun on "
                                                 "line %2")
                                      .arg(QLatin1String(what))
                                      .arg(openLine));
        case Token::Bad:
            return fail(key.line, QStringLiteral("a quoted text is not closed on its line"));
        case Token::Open:
            return fail(key.line, QStringLiteral("'(' where a key was expected"));
        case Token::Word:
            break;
        }
        const Token value = next();
        if (value.kind == Token::End || value.kind == Token::Close)
            return fail(value.line, QStringLiteral("'%1' has no value").arg(text(key)));
        if (value.kind == Token::Bad)
            return fail(value.line, QStringLiteral("a quoted text is not closed on its line"));
        if (!onKey(key, value))
            return false;
    }
}

bool TextReader::skipValue(const Token& value)
{
    if (value.kind != Token::Open)
        return true;
    int depth = 1;
    while (depth > 0) {
        const Token t = next();
        if (t.kind == Token::End)
            return fail(t.line, QStringLiteral("the file ends inside a block begun on line %1")
                                    .arg(value.line));
        if (t.kind == Token::Bad)
            return fail(t.line, QStringLiteral("a quoted text is not closed on its line"));
        depth += t.kind == Token::Open ? 1 : t.kind == Token::Close ? -1 : 0;
    }
    return true;
}

bool keyIs(const Token& t, const char* word)
{
    const int n = int(std::strlen(word));
    return t.length == n && std::memcmp(t.text, word, size_t(n)) == 0;
}

bool TextReader::hash(const Token& key, const Token& value, quint8* out, int bytes, bool* has)
{
    *has = false;
    if (value.length == 0)
        return true;
    if (!parseHex(value.text, value.length, out, bytes))
        return fail(value.line, QStringLiteral("%1 '%2' is not %3 hex digits")
                                    .arg(text(key), text(value), QString::number(bytes * 2)));
    *has = true;
    return true;
}

bool TextReader::readRom(Rom& rom, int openLine)
{
    return readBlock("rom", openLine, [&](const Token& key, const Token& value) {
        if (value.kind == Token::Open)
            return skipValue(value);
        if (keyIs(key, "name")) {
            rom.name = text(value);
        } else if (keyIs(key, "size")) {
            bool ok = false;
            rom.size = bytes(value).toLongLong(&ok);
            if (!ok || rom.size < 0)
                return fail(value.line, QStringLiteral("size '%1' is not a number").arg(text(value)));
        } else if (keyIs(key, "crc")) {
            if (value.length > 0 && !parseCrc(value.text, value.length, &rom.crc))
                return fail(value.line, QStringLiteral("crc '%1' is not a hex number").arg(text(value)));
            rom.hasCrc = value.length > 0;
        } else if (keyIs(key, "md5")) {
            return hash(key, value, rom.md5.data(), 16, &rom.hasMd5);
        } else if (keyIs(key, "sha1")) {
            return hash(key, value, rom.sha1.data(), 20, &rom.hasSha1);
        } else if (keyIs(key, "merge")) {
            rom.merge = text(value);
        } else if (keyIs(key, "flags") || keyIs(key, "status")) {
            rom.status = dumpStatusOf(bytes(value));
        }
        return true;
    });
}

bool TextReader::readDisk(Disk& disk, int openLine)
{
    return readBlock("disk", openLine, [&](const Token& key, const Token& value) {
        if (value.kind == Token::Open)
            return skipValue(value);
        if (keyIs(key, "name"))
            disk.name = text(value);
        else if (keyIs(key, "md5"))
            return hash(key, value, disk.md5.data(), 16, &disk.hasMd5);
        else if (keyIs(key, "sha1"))
            return hash(key, value, disk.sha1.data(), 20, &disk.hasSha1);
        else if (keyIs(key, "merge"))
            disk.merge = text(value);
        else if (keyIs(key, "flags") || keyIs(key, "status"))
            disk.status = dumpStatusOf(bytes(value));
        return true;
    });
}

bool TextReader::readSet(CatalogueSet& set, int openLine)
{
    const bool ok = readBlock("game", openLine, [&](const Token& key, const Token& value) {
        if (keyIs(key, "rom") && value.kind == Token::Open) {
            set.roms.emplace_back();
            return readRom(set.roms.back(), value.line);
        }
        if (keyIs(key, "disk") && value.kind == Token::Open) {
            set.disks.emplace_back();
            return readDisk(set.disks.back(), value.line);
        }
        if (value.kind == Token::Open)
            return skipValue(value);
        if (keyIs(key, "name"))
            set.name = text(value);
        else if (keyIs(key, "description"))
            set.description = text(value);
        else if (keyIs(key, "cloneof"))
            set.cloneOf = text(value);
        else if (keyIs(key, "romof"))
            set.romOf = text(value);
        return true;
    });
    if (ok && set.name.isEmpty())
        return fail(openLine, QStringLiteral("a set without a name"));
    if (set.description == set.name)
        set.description = set.name; // most catalogues repeat the name: one copy of the text
    return ok;
}

std::optional<Catalogue> TextReader::read(QString* error)
{
    Catalogue catalogue;
    bool ok = true;
    for (Token t = next(); ok && t.kind != Token::End; t = next()) {
        if (t.kind != Token::Word) {
            ok = fail(t.line, t.kind == Token::Bad ? QStringLiteral("a quoted text is not closed on its line")
                                                   : QStringLiteral("'%1' where a block's name was expected")
                                                         .arg(QLatin1Char(t.kind == Token::Open ? '(' : ')')));
            break;
        }
        const Token open = next();
        if (open.kind != Token::Open) {
            ok = fail(open.line, QStringLiteral("'(' expected after '%1'").arg(text(t)));
            break;
        }
        if (keyIs(t, "game") || keyIs(t, "machine") || keyIs(t, "resource")) {
            catalogue.sets.emplace_back();
            catalogue.sets.back().isBios = keyIs(t, "resource");
            ok = readSet(catalogue.sets.back(), t.line);
        } else if (keyIs(t, "clrmamepro")) {
            CatalogueHeader& h = catalogue.header;
            ok = readBlock("clrmamepro", t.line, [&](const Token& key, const Token& value) {
                if (value.kind == Token::Open)
                    return skipValue(value);
                if (keyIs(key, "name"))
                    h.name = text(value);
                else if (keyIs(key, "description"))
                    h.description = text(value);
                else if (keyIs(key, "version"))
                    h.version = text(value);
                return true;
            });
        } else {
            ok = skipValue(open);
        }
    }
    if (ok && catalogue.sets.empty() && catalogue.header.name.isEmpty())
        ok = fail(m_line, QStringLiteral("no catalogue: neither a header nor a set"));
    if (!ok) {
        *error = m_error;
        return std::nullopt;
    }
    catalogue.index();
    return catalogue;
}

bool validUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

std::optional<Catalogue> parseClrMamePro(const QByteArray& bytes, QString* error)
{
    TextReader reader(bytes, !validUtf8(bytes));
    return reader.read(error);
}

} // namespace kelmar::catalogue
