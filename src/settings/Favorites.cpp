// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Favorites.h"

#include "Version.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace kelmar {

namespace {

QString g_pathForTesting;

QString inSettingsFolder()
{
    auto settings = SettingsStore::openUserSettings();
    return QFileInfo(settings->fileName()).absolutePath() + QStringLiteral("/favorites.txt");
}

} // namespace

void Favorites::setPathForTesting(const QString& path)
{
    g_pathForTesting = path;
}

QString Favorites::defaultPath()
{
    if (!g_pathForTesting.isEmpty())
        return g_pathForTesting;
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable() &&
        QDir::cleanPath(beside) != QStringLiteral(KELMAR_INSTALL_BINDIR))
        return beside + QStringLiteral("/favorites.txt");
    return inSettingsFolder();
}

void Favorites::load(const QString& path)
{
    m_items.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Line by line, so a huge or binary file costs no more than its size.
    while (!file.atEnd()) {
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        add(QString::fromUtf8(line));
    }
}

bool Favorites::save(const QString& path) const
{
    QByteArray content;
    for (const QString& favourite : m_items)
        content += favourite.toUtf8() + "\r\n";
    auto write = [&content](const QString& to) {
        QSaveFile file(to);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(content);
        return file.commit();
    };
    if (write(path))
        return true;
    // A read-only program folder: keep them with the settings instead.
    const QString fallback = inSettingsFolder();
    QDir().mkpath(QFileInfo(fallback).absolutePath());
    return fallback != path && write(fallback);
}

int Favorites::indexOf(const QString& folder) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).compare(folder, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void Favorites::add(const QString& folder)
{
    int at = 0;
    while (at < m_items.size() && m_items.at(at).compare(folder, Qt::CaseInsensitive) <= 0)
        ++at;
    m_items.insert(at, folder);
}

void Favorites::remove(const QString& folder)
{
    const int at = indexOf(folder);
    if (at >= 0)
        m_items.removeAt(at);
}

} // namespace kelmar
