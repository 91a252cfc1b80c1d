#include "common/Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace kelmar::test {

ToolRun runTool(const QString& program, const QStringList& args, const QString& folder)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, args);
    ToolRun run;
    if (!process.waitForStarted(10000))
        return run;
    process.waitForFinished(120000);
    run.output = process.readAll();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

bool haveTool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray noiseBytes(qsizetype n, quint32 seed)
{
    QByteArray out(n, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x & 0xff);
    }
    return out;
}

QByteArray textBytes(qsizetype n, quint32 seed)
{
    static const char* words[] = {"mario ", "zelda ", "sprite ", "tile ", "0x7E00 ",
                                  "LDA #$00 ", "\n", "bank ", "rom ", "header "};
    QByteArray out;
    out.reserve(n);
    quint32 x = seed + 7;
    while (out.size() < n) {
        x = x * 1103515245u + 12345u;
        out.append(words[(x >> 16) % 10]);
    }
    out.truncate(n);
    return out;
}

} // namespace kelmar::test
