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
    int Options::*number = nullptr;
    QString Options::*text = nullptr;
};

constexpr const char* kZip = "zip settings";
constexpr const char* kUnzip = "unzip settings";
constexpr const char* kOther = "other settings";

const Key kKeys[] = {
    {kZip, "radMultipleZIPs", Kind::Radio, &Options::radMultipleZIPs},
    {kZip, "chkUseOriginalExtensions", Kind::CheckBox, nullptr, &Options::chkUseOriginalExtensions},
    {kZip, "cmbFileCase", Kind::Combo, nullptr, &Options::cmbFileCase},
    {kZip, "radOneZIP", Kind::Radio, &Options::radOneZIP},
    {kZip, "chkDeleteFiles", Kind::CheckBox, nullptr, &Options::chkDeleteFiles},
    {kZip, "chkUseZIPPaths", Kind::CheckBox, nullptr, &Options::chkUseZIPPaths},
    {kZip, "chkSaveZIPsinSameFolder", Kind::CheckBox, nullptr, &Options::chkSaveZIPsinSameFolder},
    {kZip, "sliCompression", Kind::Slider, nullptr, &Options::sliCompression},
    {kZip, "chkInfoFile", Kind::CheckBox, nullptr, &Options::chkInfoFile},
    {kZip, "txtInfoFile", Kind::Text, nullptr, nullptr, &Options::txtInfoFile},
    {kZip, "chkZIPPassword", Kind::CheckBox, nullptr, &Options::chkZIPPassword},
    {kUnzip, "cmbUnzipCase", Kind::Combo, nullptr, &Options::cmbUnzipCase},
    {kUnzip, "chkRenameFiles", Kind::CheckBox, nullptr, &Options::chkRenameFiles},
    {kUnzip, "chkExtractROMs", Kind::CheckBox, nullptr, &Options::chkExtractROMs},
    {kUnzip, "chkDeleteZIPFiles", Kind::CheckBox, nullptr, &Options::chkDeleteZIPFiles},
    {kUnzip, "chkIgnoreFolders", Kind::CheckBox, nullptr, &Options::chkIgnoreFolders},
    {kUnzip, "chkUnziptoSameFolder", Kind::CheckBox, nullptr, &Options::chkUnziptoSameFolder},
    {kUnzip, "chkUnzipPassword", Kind::CheckBox, nullptr, &Options::chkUnzipPassword},
    {kUnzip, "txtUnzipPassword", Kind::Text, nullptr, nullptr, &Options::txtUnzipPassword},
    {kUnzip, "chkZipsToFolders", Kind::CheckBox, nullptr, &Options::chkZIPsToFolders},
    {kOther, "lblROMFilter", Kind::Text, nullptr, nullptr, &Options::lblROMFilter},
    {kOther, "chkSound", Kind::CheckBox, nullptr, &Options::chkSound},
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
        case Kind::Slider: {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok, 10);
            if (ok && value >= 0 && value <= maxOf(k.kind))
                options.*k.number = value;
            break;
        }
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
        case Kind::Combo:
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
