// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"

#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>

namespace kelmar::test {

void useTestSettings(const QString& configFolder)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configFolder);
    frmKelmar::setFavoritesPathForTesting(configFolder + QStringLiteral("/favorites.txt"));
    Dialogs::script() = Dialogs::Script();
    Dialogs::script().active = true;
}

bool runBatch(frmKelmar& window, const std::function<void()>& start)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&window, &frmKelmar::batchFinished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    start();
    if (!finished && window.batchRunning())
        loop.exec();
    return finished;
}

void waitUntil(const std::function<bool()>& condition)
{
    while (!condition())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void wakeUiThread()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

} // namespace kelmar::test
