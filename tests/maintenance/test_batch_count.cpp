// SPDX-License-Identifier: GPL-3.0-or-later
// How far a batch has come, as the front ends show it: one count per archive as it finishes,
// in list order, over real archives tested, extracted, rebuilt and measured several at once.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/SelectedArchives.h"
#include "common/Tools.h"
#include "maintenance/CalculateSpace.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"
#include "maintenance/UnzipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>

using namespace kelmar;
using namespace kelmar::test;

TEST(BatchCount, TextGroupsThousandsAsTheLocaleDoes)
{
    const struct
    {
        QLocale locale;
        BatchCount count;
        QString text;
    } rows[] = {
        {QLocale::c(), {QStringLiteral("Testing"), 12345, 40000}, "Testing 12,345 of 40,000"},
        {QLocale(QLocale::English), {QStringLiteral("Unzipping"), 12, 120}, "Unzipping 12 of 120"},
        {QLocale(QLocale::German), {QStringLiteral("Testing"), 1234, 1234567},
         "Testing 1.234 of 1.234.567"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(batchCountText(row.count, row.locale), row.text);
}

TEST(BatchCount, EachArchiveBatchCountsItsArchivesInListOrder)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    using Run = std::function<BatchReport(FakeHost& host, const QString& folder)>;
    const struct
    {
        const char* doing;
        Run run;
    } rows[] = {
        {"Testing",
         [](FakeHost& h, const QString&) {
             return test_zip_files(TestRequest{selectedArchives(h), {}, h.workers}, h, h);
         }},
        {"Unzipping",
         [](FakeHost& h, const QString& folder) {
             return unzip_files(unzipRequestFor(h, folder + QStringLiteral("/out")), h, h);
         }},
        {"Rezipping",
         [](FakeHost& h, const QString&) {
             RebuildRequest request;
             request.files = selectedArchives(h);
             request.workers = h.workers;
             return rezip_files(request, h, h);
         }},
        {"Measuring",
         [](FakeHost& h, const QString&) {
             h.queueAnswer(MsgAnswer::Ok); // the total's message box
             return calculate_space(SpaceRequest{selectedArchives(h), h.workers}, h, h);
         }},
    };
    constexpr int kArchives = 7;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.doing);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("src/game.nes")), textBytes(20000, 3));
        for (int i = 1; i <= kArchives; ++i) {
            ASSERT_EQ(runTool(QStringLiteral("zip"),
                              {QStringLiteral("-q"), dir.filePath(QStringLiteral("g%1.zip").arg(i)),
                               QStringLiteral("game.nes")},
                              dir.filePath(QStringLiteral("src")))
                          .exitCode,
                      0);
        }
        QDir(dir.filePath(QStringLiteral("src"))).removeRecursively();
        FakeHost host;
        host.workers = 3;
        host.listFolder(dir.path());
        const BatchReport report = row.run(host, dir.path());
        EXPECT_EQ(report.failedCount(), 0) << host.log.join(u'\n').toStdString();
        ASSERT_EQ(int(host.counts.size()), kArchives);
        for (int i = 0; i < kArchives; ++i) {
            EXPECT_EQ(host.counts[size_t(i)].doing, QLatin1String(row.doing));
            EXPECT_EQ(host.counts[size_t(i)].done, i + 1);
            EXPECT_EQ(host.counts[size_t(i)].total, kArchives);
        }
    }
}
