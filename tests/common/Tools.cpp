#include "common/Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelmar::test {

// Started with posix_spawn rather than QProcess: QProcess starts its child with clone, which
// ThreadSanitizer cannot follow, and the tests of the threaded batches run under it.
ToolRun runTool(const QString& program, const QStringList& args, const QString& folder)
{
    ToolRun run;
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return run;
    std::vector<QByteArray> words{QFile::encodeName(path)};
    for (const QString& a : args)
        words.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    const QByteArray where = QFile::encodeName(folder);
    if (!folder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, where.constData());
    pid_t pid = -1;
    const int started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (started != 0) {
        ::close(out[0]);
        return run;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        run.output.append(buffer, got);
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    static const char* words[] = {"mario ",    "zelda ", "sprite ", "tile ", "0x7E00 ",
                                  "LDA #$00 ", "\n",     "bank ",   "rom ",  "header "};
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
