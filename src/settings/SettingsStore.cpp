// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace kelmar::SettingsStore {

namespace {

enum class Kind { Radio, CheckBox, Combo, Slider, Text };

// One row per stored option, in the order in which they are read and written.
struct Key
{
    const char* section;
    const char* key;
    Kind kind;
    bool Options::*flag = nullptr;
    Check Options::*check = nullptr;
    CaseChoice Options::*choice = nullptr;
    int Options::*number = nullptr;
    QString Options::*text = nullptr;
};

Key radio(const char* section, const char* key, bool Options::*field)
{
    Key k{section, key, Kind::Radio};
    k.flag = field;
    return k;
}

Key checkBox(const char* section, const char* key, Check Options::*field)
{
    Key k{section, key, Kind::CheckBox};
    k.check = field;
    return k;
}

Key combo(const char* section, const char* key, CaseChoice Options::*field)
{
    Key k{section, key, Kind::Combo};
    k.choice = field;
    return k;
}

Key slider(const char* section, const char* key, int Options::*field)
{
    Key k{section, key, Kind::Slider};
    k.number = field;
    return k;
}

Key text(const char* section, const char* key, QString Options::*field)
{
    Key k{section, key, Kind::Text};
    k.text = field;
    return k;
}

constexpr const char* kZip = "zip settings";
constexpr const char* kUnzip = "unzip settings";
constexpr const char* kOther = "other settings";

const Key kKeys[] = {
    radio(kZip, "radMultipleZIPs", &Options::radMultipleZIPs),
    checkBox(kZip, "chkUseOriginalExtensions", &Options::chkUseOriginalExtensions),
    combo(kZip, "cmbFileCase", &Options::cmbFileCase),
    radio(kZip, "radOneZIP", &Options::radOneZIP),
    checkBox(kZip, "chkDeleteFiles", &Options::chkDeleteFiles),
    checkBox(kZip, "chkUseZIPPaths", &Options::chkUseZIPPaths),
    checkBox(kZip, "chkSaveZIPsinSameFolder", &Options::chkSaveZIPsinSameFolder),
    slider(kZip, "sliCompression", &Options::sliCompression),
    checkBox(kZip, "chkInfoFile", &Options::chkInfoFile),
    text(kZip, "txtInfoFile", &Options::txtInfoFile),
    checkBox(kZip, "chkZIPPassword", &Options::chkZIPPassword),
    checkBox(kZip, "chkTorrentZip", &Options::chkTorrentZip),
    combo(kUnzip, "cmbUnzipCase", &Options::cmbUnzipCase),
    checkBox(kUnzip, "chkRenameFiles", &Options::chkRenameFiles),
    checkBox(kUnzip, "chkExtractROMs", &Options::chkExtractROMs),
    checkBox(kUnzip, "chkDeleteZIPFiles", &Options::chkDeleteZIPFiles),
    checkBox(kUnzip, "chkIgnoreFolders", &Options::chkIgnoreFolders),
    checkBox(kUnzip, "chkUnziptoSameFolder", &Options::chkUnziptoSameFolder),
    checkBox(kUnzip, "chkUnzipPassword", &Options::chkUnzipPassword),
    text(kUnzip, "txtUnzipPassword", &Options::txtUnzipPassword),
    checkBox(kUnzip, "chkZipsToFolders", &Options::chkZIPsToFolders),
    text(kOther, "lblROMFilter", &Options::lblROMFilter),
    checkBox(kOther, "chkSound", &Options::chkSound),
    checkBox(kOther, "chkCheckTorrentZip", &Options::chkCheckTorrentZip),
    checkBox(kOther, "chkDetailsView", &Options::chkDetailsView),
    checkBox(kOther, "chkNaturalOrder", &Options::chkNaturalOrder),
    checkBox(kOther, "chkTestOnly", &Options::chkTestOnly),
    checkBox(kOther, "IncludeSubFolders", &Options::chkIncludeSubFolders),
};

QString path(const Key& k)
{
    return QString::fromLatin1(k.section) + u'/' + QString::fromLatin1(k.key);
}

int maxOf(Kind kind)
{
    switch (kind) {
    case Kind::Slider:
        return 9;
    default:
        return 2;
    }
}

// A stored number into its field; one that does not convert or is out of range is ignored.
void readNumber(Options& options, const Key& k, const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value > maxOf(k.kind))
        return;
    switch (k.kind) {
    case Kind::CheckBox:
        options.*k.check = static_cast<Check>(value);
        break;
    case Kind::Combo:
        options.*k.choice = static_cast<CaseChoice>(value);
        break;
    default:
        options.*k.number = value;
        break;
    }
}

} // namespace

Options loadOptions(QSettings& settings)
{
    Options options; // the defaults
    for (const Key& k : kKeys) {
        const QVariant stored = settings.value(path(k));
        if (!stored.isValid())
            continue;
        const QString text = stored.toString();
        switch (k.kind) {
        case Kind::Radio:
            if (text.compare(u"True", Qt::CaseInsensitive) == 0)
                options.*k.flag = true;
            else if (text.compare(u"False", Qt::CaseInsensitive) == 0)
                options.*k.flag = false;
            break;
        case Kind::CheckBox:
        case Kind::Combo:
        case Kind::Slider:
            readNumber(options, k, text);
            break;
        case Kind::Text:
            options.*k.text = text;
            break;
        }
    }
    // Selecting one radio button clears the other; the one read last wins.
    if (options.radOneZIP)
        options.radMultipleZIPs = false;
    else if (!options.radMultipleZIPs)
        options.radMultipleZIPs = true;
    options.txtZIPPassword.clear();
    return options;
}

void saveOptions(QSettings& settings, const Options& options)
{
    for (const Key& k : kKeys) {
        QString text;
        switch (k.kind) {
        case Kind::Radio:
            text = options.*k.flag ? QStringLiteral("True") : QStringLiteral("False");
            break;
        case Kind::CheckBox:
            text = QString::number(static_cast<int>(options.*k.check));
            break;
        case Kind::Combo:
            text = QString::number(static_cast<int>(options.*k.choice));
            break;
        case Kind::Slider:
            text = QString::number(options.*k.number);
            break;
        case Kind::Text:
            text = options.*k.text;
            break;
        }
        settings.setValue(path(k), text);
    }
}

std::unique_ptr<QSettings> openUserSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("kelmar"), QStringLiteral("kelmar"));
}

std::unique_ptr<QSettings> openSettingsFile(const QString& filePath)
{
    return std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

void keepPrivate(const QSettings& settings)
{
    const QString path = settings.fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
        QFile create(path);
        if (create.open(QIODevice::WriteOnly))
            create.close();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace kelmar::SettingsStore
