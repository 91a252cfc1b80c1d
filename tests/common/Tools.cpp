// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelmar::test {

namespace {

// The programs scripts/setup.sh installs: the first word of each entry of its TOOLS and
// PACKAGE_TOOLS tables.
const std::set<QString>& installedTools()
{
    static const std::set<QString> tools = [] {
        std::set<QString> names;
        QFile f(QStringLiteral(KELMAR_SOURCE_DIR "/scripts/setup.sh"));
        if (!f.open(QIODevice::ReadOnly))
            return names;
        bool inTable = false;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(u'#'))
                continue;
            if (line.startsWith(QLatin1String("TOOLS=(")) ||
                line.startsWith(QLatin1String("PACKAGE_TOOLS=(")))
                inTable = true;
            if (!inTable)
                continue;
            const QStringList parts = line.split(u'"');
            for (int i = 1; i < parts.size(); i += 2)
                names.insert(parts[i].section(u' ', 0, 0));
            if (line.endsWith(u')'))
                inTable = false;
        }
        return names;
    }();
    return tools;
}

bool isShellWord(const QString& word)
{
    static const std::set<QString> words{
        QStringLiteral("cd"),    QStringLiteral("set"),    QStringLiteral("exec"),
        QStringLiteral("echo"),  QStringLiteral("printf"), QStringLiteral("test"),
        QStringLiteral("["),     QStringLiteral("true"),   QStringLiteral("false"),
        QStringLiteral("export"), QStringLiteral("read"),  QStringLiteral("wait"),
        QStringLiteral("kill"),  QStringLiteral("exit"),   QStringLiteral("trap"),
        QStringLiteral("ulimit"), QStringLiteral("umask"), QStringLiteral("local"),
        QStringLiteral("return"), QStringLiteral("shift"), QStringLiteral(":"),
        QStringLiteral("eval"),  QStringLiteral("fi"),     QStringLiteral("done"),
        QStringLiteral("esac"),  QStringLiteral("}"),      QStringLiteral("{")};
    return words.count(word) != 0;
}

// The programs a shell script names in command position, read roughly but quote-aware: enough to
// see "bsdtar" in "cd x && bsdtar -cf a.zip .", not a shell parser.
QStringList commandsOf(const QString& script)
{
    QStringList commands;
    QString word;
    bool first = true, skipSegment = false;
    QChar quote;
    auto endWord = [&] {
        if (word.isEmpty())
            return;
        static const QStringList prefixes{QStringLiteral("if"),    QStringLiteral("then"),
                                          QStringLiteral("else"),  QStringLiteral("elif"),
                                          QStringLiteral("do"),    QStringLiteral("while"),
                                          QStringLiteral("until"), QStringLiteral("!")};
        if (first && !skipSegment) {
            if (word == QLatin1String("for") || word == QLatin1String("case"))
                skipSegment = true;
            else if (!prefixes.contains(word) && !word.contains(u'=')) {
                first = false;
                if (!isShellWord(word) && !word.startsWith(u'$') && !word.contains(u'/'))
                    commands << word;
            }
        }
        word.clear();
    };
    for (const QChar c : script) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            word += u'x'; // a quoted word is never one we check
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            word += u'$';
        } else if (c == u';' || c == u'|' || c == u'&' || c == u'\n' || c == u'(' || c == u')' ||
                   c == u'`') {
            endWord();
            first = true;
            skipSegment = false;
        } else if (c.isSpace()) {
            endWord();
        } else {
            word += c;
        }
    }
    endWord();
    return commands;
}

// A test may run only what a fresh machine has after scripts/setup.sh: anything else would pass
// here, where earlier work left it installed, and fail there.
bool installedBySetup(const QString& program, const QStringList& args)
{
    QStringList programs{program};
    const bool shell = program == QLatin1String("sh") || program == QLatin1String("bash");
    if (shell && args.size() >= 2 && args[0] == QLatin1String("-c"))
        programs += commandsOf(args[1]);
    for (const QString& p : programs) {
        if (!installedTools().count(p)) {
            ADD_FAILURE() << "a test runs \"" << p.toStdString()
                          << "\", which scripts/setup.sh does not install (add it to TOOLS)";
            return false;
        }
    }
    return true;
}

} // namespace

// Started with posix_spawn rather than QProcess: QProcess starts its child with clone, which
// ThreadSanitizer cannot follow, and the tests of the threaded batches run under it.
void expectMayRunPrograms(const QString& program)
{
    if (qEnvironmentVariableIntValue("KELMAR_TEST_NO_TOOLS") == 1)
        ADD_FAILURE() << "runs " << program.toStdString()
                      << " but runs among the fast tests: tests/CMakeLists.txt finds the tests "
                         "that run programs by KELMAR_REQUIRE_TOOL or cli() in their own body";
}

ToolRun runTool(const QString& program, const QStringList& args, const QString& folder)
{
    expectMayRunPrograms(program);
    ToolRun run;
    if (!program.contains(u'/') && !installedBySetup(program, args))
        return run;
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
    expectMayRunPrograms(program);
    if (!installedBySetup(program, {}))
        return false;
    return !QStandardPaths::findExecutable(program).isEmpty();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

void writeRaw(const QByteArray& nativePath, const QByteArray& bytes)
{
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << nativePath.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
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
