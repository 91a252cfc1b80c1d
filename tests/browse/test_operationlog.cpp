// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/OperationLog.h"
#include "common/Printers.h"

#include <gtest/gtest.h>

using kelmar::OperationLog;

TEST(OperationLog, LinesEndInCrLfInCallOrder)
{
    OperationLog log;
    log.write(QStringLiteral("old"));
    log.clear();
    log.write(QStringLiteral("abc"));
    EXPECT_EQ(log.text(), QStringLiteral("abc\r\n"));
    log.write(QString());
    log.write(QStringLiteral("def"));
    EXPECT_EQ(log.text(), QStringLiteral("abc\r\n\r\ndef\r\n"));
}

// A full log drops its older half at a line boundary and still takes the new line: the
// line that overflowed it may be the one that says a file was kept.
TEST(OperationLog, FullLogDropsItsOlderHalfAsWholeLinesAndKeepsTheNewLine)
{
    OperationLog log(20);
    log.write(QStringLiteral("0123456789")); // 12 characters
    log.write(QStringLiteral("abcdef"));     // 20: exactly full
    EXPECT_EQ(log.write(QStringLiteral("x")), OperationLog::Append::Trimmed);
    EXPECT_EQ(log.text(), QStringLiteral("abcdef\r\nx\r\n"));
    EXPECT_EQ(log.write(QStringLiteral("y")), OperationLog::Append::Added);
    EXPECT_EQ(log.text(), QStringLiteral("abcdef\r\nx\r\ny\r\n"));
    // One line longer than half the log: nothing older survives, the new line does.
    OperationLog small(12);
    small.write(QStringLiteral("0123456789"));
    EXPECT_EQ(small.write(QStringLiteral("z")), OperationLog::Append::Trimmed);
    EXPECT_EQ(small.text(), QStringLiteral("z\r\n"));
}
