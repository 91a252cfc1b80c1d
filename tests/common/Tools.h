// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "common/Printers.h"

#include <ostream>

namespace kelmar::test {

// The result of running a real tool.
struct ToolRun
{
    int exitCode = -1;
    QByteArray output; // stdout and stderr merged
};

// Runs program with args in folder (the current folder when empty), stdin closed. A program, or
// a program named by a "sh -c"/"bash -c" script, that scripts/setup.sh does not install fails the
// test and is not run.
ToolRun runTool(const QString& program, const QStringList& args, const QString& folder = QString());

// True when program is on PATH. When it is not, a test skips, except in CI
// (KELMAR_TEST_TOOLS_REQUIRED=1) where it fails: a green run must have used the tool.
bool haveTool(const QString& program);

// Fails the test when it runs among the fast ones (KELMAR_TEST_NO_TOOLS=1), which must run
// no outside program: it is then missing from tests/CMakeLists.txt's tools tests.
void expectMayRunPrograms(const QString& program);

// Writes bytes to path, creating its folder.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Writes bytes to a file named by its bytes, which need not be UTF-8 (a failure fails the test).
void writeRaw(const QByteArray& nativePath, const QByteArray& bytes);
// n bytes that deflate does not shrink (a fixed generator, the same for the same seed).
QByteArray noiseBytes(qsizetype n, quint32 seed);
// n bytes that deflate shrinks well, with some variety.
QByteArray textBytes(qsizetype n, quint32 seed);

} // namespace kelmar::test

// Skips the test (or fails it in CI) when a tool is missing.
#define KELMAR_REQUIRE_TOOL(program)                                                               \
    do {                                                                                           \
        if (!::kelmar::test::haveTool(program)) {                                                  \
            if (qEnvironmentVariableIntValue("KELMAR_TEST_TOOLS_REQUIRED") == 1)                   \
                FAIL() << "required tool missing: " << program;                                    \
            GTEST_SKIP() << "tool missing: " << program;                                           \
        }                                                                                          \
    } while (0)

// Lets texts go into gtest's failure messages with <<.
inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << s.toStdString();
}
