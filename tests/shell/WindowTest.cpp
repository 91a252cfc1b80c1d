#include "WindowTest.h"

#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>

namespace kelmar::test {

void useTestSettings(const QString& configFolder)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configFolder);
    frmKelmar::setFavoritesPathForTesting(configFolder + QStringLiteral("/favorites.txt"));
    Dialogs::script() = Dialogs::Script();
    Dialogs::script().active = true;
}

bool runBatch(frmKelmar& window, const std::function<void()>& start, int timeoutMs)
{
    bool finished = false;
    const QMetaObject::Connection c =
        QObject::connect(&window, &frmKelmar::batchFinished, [&] { finished = true; });
    start();
    QElapsedTimer timer;
    timer.start();
    while (!finished && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    QObject::disconnect(c);
    return finished;
}

} // namespace kelmar::test
