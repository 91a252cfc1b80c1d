// SPDX-License-Identifier: GPL-3.0-or-later
// The window's program asked for its help or version where there is no display.
#include "Version.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

TEST(AppArguments, HelpAndVersionNeedNoDisplay)
{
    struct Case
    {
        const char* argument;
        const char* startsWith;
    };
    const Case cases[] = {
        {"--help", "Usage: "},
        {"-h", "Usage: "},
        {"--version", "kelmar " KELMAR_VERSION "\n"},
        {"-v", "kelmar " KELMAR_VERSION "\n"},
    };
    // The desktop's own platform, with nothing to connect to: starting it aborts.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELMAR_APP), {QString::fromLatin1(c.argument)});
        ASSERT_TRUE(p.waitForFinished(-1));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
        const QByteArray out = p.readAllStandardOutput();
        EXPECT_TRUE(out.startsWith(c.startsWith)) << out.constData();
    }
}

// SIGTERM (a logout, a shutdown) closes the window as its close button does: the settings are
// written and the program ends normally.
TEST(AppArguments, TermClosesTheWindowAsItsCloseButtonDoes)
{
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("HOME"), config.path());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELMAR_APP), {config.path()});
    ASSERT_TRUE(p.waitForStarted());
    // Until the program has its handler (the SigCgt mask of /proc says so): a signal before
    // that would meet the default action. Nothing tells of a new handler, so this looks; it
    // gives up when the program has ended (its status gone, or a zombie's).
    const QString status = QStringLiteral("/proc/%1/status").arg(p.processId());
    bool ended = false;
    auto handled = [&] {
        QFile f(status);
        ended = !f.open(QIODevice::ReadOnly);
        for (const QByteArray& line : ended ? QByteArrayList() : f.readAll().split('\n')) {
            if (line.startsWith("State:") && line.contains("zombie"))
                ended = true;
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
        }
        return false;
    };
    while (!handled() && !ended)
        QThread::yieldCurrentThread();
    ASSERT_TRUE(handled());
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(-1));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_TRUE(QFile::exists(config.filePath(QStringLiteral("kelmar/kelmar.ini"))));
}
