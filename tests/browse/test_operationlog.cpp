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

TEST(OperationLog, FullLogKeepsItsLastHalfAndDropsTheLine)
{
    OperationLog log(20);
    log.write(QStringLiteral("0123456789"));    // 12 characters
    log.write(QStringLiteral("abcdef"));        // 20: exactly full
    EXPECT_EQ(log.text().size(), 20);
    EXPECT_EQ(log.write(QStringLiteral("x")), OperationLog::Append::Trimmed);
    // The last 10 characters, and no "x": the log may now begin in the middle of a line.
    EXPECT_EQ(log.text(), QStringLiteral("\r\nabcdef\r\n"));
    EXPECT_EQ(log.write(QStringLiteral("y")), OperationLog::Append::Added);
    EXPECT_EQ(log.text(), QStringLiteral("\r\nabcdef\r\ny\r\n"));
}

TEST(OperationLog, HalfOfAnOddLengthGoesToTheEvenNeighbour)
{
    // 13 / 2 = 6.5 -> 6; 15 / 2 = 7.5 -> 8.
    OperationLog a(14);
    a.write(QStringLiteral("12345678901")); // 13
    a.write(QStringLiteral("zz"));
    EXPECT_EQ(a.text().size(), 6);
    OperationLog b(16);
    b.write(QStringLiteral("1234567890123")); // 15
    b.write(QStringLiteral("zz"));
    EXPECT_EQ(b.text().size(), 8);
}
