// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/FileListModel.h"
#include "browse/FilterHistory.h"
#include "browse/Selection.h"
#include "common/Printers.h"
#include "common/TempFiles.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

using namespace kelmar;
using kelmar::test::writeFile;

namespace {

std::vector<char> flags(std::initializer_list<int> values)
{
    std::vector<char> v;
    for (int x : values)
        v.push_back(char(x));
    return v;
}

} // namespace

TEST(FileListModel, ListsVisibleFilesSortedWithoutRegardToCase)
{
    QTemporaryDir dir;
    for (const char* name : {"b.nes", "A.zip", "a.txt", "C.ZIP", ".hidden.zip"})
        writeFile(dir.path(), QString::fromLatin1(name), 1);
    QDir(dir.path()).mkdir(QStringLiteral("folder.zip"));

    FileListModel model;
    model.setFolder(dir.path());
    EXPECT_EQ(model.names(), QStringList({"a.txt", "A.zip", "b.nes", "C.ZIP"}));
    EXPECT_EQ(model.fullPath(0), dir.path() + QStringLiteral("/a.txt"));

    model.setPattern(filterPattern(QStringLiteral("*.zip ,*.nes")));
    EXPECT_EQ(model.pattern(), QStringLiteral("*.zip;*.nes"));
    EXPECT_EQ(model.names(), QStringList({"A.zip", "b.nes", "C.ZIP"}));

    // Blanks and commas only: nothing left to filter by, so every file shows.
    model.setPattern(filterPattern(QStringLiteral(" , ,")));
    EXPECT_EQ(model.count(), 4);
    model.setPattern(QString());
    EXPECT_EQ(model.count(), 4);
    // "[" is an ordinary character, not a character class.
    writeFile(dir.path(), QStringLiteral("[a] game.nes"), 1);
    model.reload();
    model.setPattern(QStringLiteral("[a]*"));
    EXPECT_EQ(model.names(), QStringList({"[a] game.nes"}));
}

TEST(FileListModel, VanishedFolderGivesAnEmptyListAndAReason)
{
    QTemporaryDir dir;
    const QString gone = dir.path() + QStringLiteral("/gone");
    QDir().mkdir(gone);
    writeFile(gone, QStringLiteral("x.zip"), 1);
    FileListModel model;
    model.setFolder(gone);
    ASSERT_EQ(model.count(), 1);
    QDir(gone).removeRecursively();
    model.reload();
    EXPECT_EQ(model.count(), 0);
    EXPECT_FALSE(model.readError().isEmpty());
}

TEST(FilterHistory, KeepsStarFirstIgnoresCaseAndDropsTheFirstAfterStar)
{
    FilterHistory history;
    EXPECT_TRUE(history.add(QStringLiteral("*.zip")));
    EXPECT_FALSE(history.add(QStringLiteral("*.ZIP")));
    EXPECT_TRUE(history.add(QStringLiteral("*.Nes")));
    EXPECT_TRUE(history.add(QStringLiteral("*.bin")));
    EXPECT_EQ(history.entries(), QStringList({"*", "*.bin", "*.Nes", "*.zip"}));

    FilterHistory full;
    for (const char* f : {"b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8", "b9"})
        full.add(QString::fromLatin1(f));
    ASSERT_EQ(full.entries().size(), 10);
    // An eleventh entry pushes out the one that sorts first after "*" - here the new one
    // itself sorts first and is the one dropped.
    full.add(QStringLiteral("a0"));
    EXPECT_EQ(full.entries().size(), 10);
    EXPECT_EQ(full.entries().at(1), QStringLiteral("b1"));
    full.add(QStringLiteral("c0"));
    EXPECT_EQ(full.entries().at(1), QStringLiteral("b2"));
    EXPECT_EQ(full.entries().last(), QStringLiteral("c0"));
    EXPECT_EQ(full.stored().size(), 9);
}

TEST(SelectionCounter, TextsAndRounding)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(selectionCounterText({0, 0}, english), QStringLiteral("0 Files Selected (0 Kb)    "));
    EXPECT_EQ(selectionCounterText({1, 999}, english),
              QStringLiteral("1 File Selected (1 Kb)    "));
    EXPECT_EQ(selectionCounterText({2, 4100}, english),
              QStringLiteral("2 Files Selected (4 Kb)    "));
    EXPECT_EQ(selectionCounterText({1234, 1500}, english),
              QStringLiteral("1234 Files Selected (2 Kb)    "));
    // Sizes beyond 4 GiB and the locale's digit grouping.
    EXPECT_EQ(selectionCounterText({40000, 123456789012LL}, english),
              QStringLiteral("40000 Files Selected (123,456,789 Kb)    "));
    EXPECT_EQ(selectionCounterText({3, 1234567890}, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("3 Files Selected (1.234.568 Kb)    "));
}

TEST(SelectionCounter, MeasuresSelectedFilesAndCountsVanishedOnesAsEmpty)
{
    QTemporaryDir dir;
    writeFile(dir.path(), QStringLiteral("a.nes"), 1500);
    writeFile(dir.path(), QStringLiteral("b.nes"), 2600);
    writeFile(dir.path(), QStringLiteral("c.nes"), 7000);
    const QStringList names = {"a.nes", "b.nes", "c.nes", "vanished.nes"};
    SelectionTotal total = measureSelection(dir.path(), names, flags({1, 1, 0, 1}));
    EXPECT_EQ(total.files, 3);
    EXPECT_EQ(total.bytes, 4100);
    // The root folder ends with its separator already.
    EXPECT_EQ(measureSelection(QStringLiteral("/"), {"no such file"}, flags({1})).files, 1);
}

TEST(BulkSelection, AllNoneReverseOnFortyThousandRows)
{
    // Rows past 32,767 select and count like any other.
    QTemporaryDir dir;
    const int n = 40000;
    for (int i = 0; i < n; ++i)
        writeFile(dir.path(), QStringLiteral("rom%1.nes").arg(i, 5, 10, QLatin1Char('0')), 0);
    FileListModel model;
    model.setFolder(dir.path());
    ASSERT_EQ(model.count(), n);
    QItemSelectionModel selection(&model);
    int changes = 0;
    QObject::connect(&selection, &QItemSelectionModel::selectionChanged, [&] { ++changes; });

    selectAllRows(selection, n);
    EXPECT_EQ(changes, 1);
    auto f = selectedFlags(selection, n);
    EXPECT_EQ(std::count(f.begin(), f.end(), 1), n);
    EXPECT_EQ(measureSelection(model.folder(), model.names(), f).files, n);

    selectNoRows(selection);
    selection.select(model.index(35000, 0), QItemSelectionModel::Select);
    selection.select(model.index(3, 0), QItemSelectionModel::Select);
    reverseRowSelection(selection, n);
    f = selectedFlags(selection, n);
    EXPECT_EQ(std::count(f.begin(), f.end(), 1), n - 2);
    EXPECT_EQ(f[35000], 0);
    EXPECT_EQ(f[39999], 1);
    reverseRowSelection(selection, n);
    f = selectedFlags(selection, n);
    EXPECT_EQ(std::count(f.begin(), f.end(), 1), 2);
    EXPECT_EQ(f[35000], 1);

    // On an empty list nothing happens.
    FileListModel empty;
    QItemSelectionModel none(&empty);
    selectAllRows(none, 0);
    reverseRowSelection(none, 0);
    EXPECT_TRUE(selectedFlags(none, 0).empty());
}

TEST(FileListModel, DetailsSortByEachColumnAndTheSelectionFollowsItsFiles)
{
    QTemporaryDir dir;
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1700000000);
    const struct
    {
        const char* name;
        qint64 size;
        int age; // seconds after base
    } files[] = {{"Rev 10.zip", 300, 100}, {"Rev 2.zip", 1200, 300}, {"b.nes", 200, 200}};
    for (const auto& f : files) {
        const QString path = writeFile(dir.path(), QString::fromLatin1(f.name), f.size);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(base.addSecs(f.age), QFileDevice::FileModificationTime));
    }
    FileListModel model;
    model.setFolder(dir.path());
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.data(model.index(0, FileListModel::SizeColumn)), QVariant());
    model.setDetails(true);
    model.setVerdict(dir.filePath(QStringLiteral("Rev 2.zip")), Verdict::Bad);
    model.setVerdict(dir.filePath(QStringLiteral("b.nes")), Verdict::Good);
    QItemSelectionModel selection(&model);
    selection.select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(model.name(0), QStringLiteral("b.nes"));

    const struct
    {
        int column;
        Qt::SortOrder order;
        NameOrder names;
        QStringList expected;
    } rows[] = {
        {FileListModel::NameColumn, Qt::AscendingOrder, NameOrder::Plain,
         {"b.nes", "Rev 10.zip", "Rev 2.zip"}},
        {FileListModel::NameColumn, Qt::AscendingOrder, NameOrder::Natural,
         {"b.nes", "Rev 2.zip", "Rev 10.zip"}},
        {FileListModel::NameColumn, Qt::DescendingOrder, NameOrder::Natural,
         {"Rev 10.zip", "Rev 2.zip", "b.nes"}},
        {FileListModel::SizeColumn, Qt::AscendingOrder, NameOrder::Plain,
         {"b.nes", "Rev 10.zip", "Rev 2.zip"}},
        {FileListModel::SizeColumn, Qt::DescendingOrder, NameOrder::Plain,
         {"Rev 2.zip", "Rev 10.zip", "b.nes"}},
        {FileListModel::ModifiedColumn, Qt::AscendingOrder, NameOrder::Plain,
         {"Rev 10.zip", "b.nes", "Rev 2.zip"}},
        // Bad first, then good, then what was not tested.
        {FileListModel::VerdictColumn, Qt::AscendingOrder, NameOrder::Plain,
         {"Rev 2.zip", "b.nes", "Rev 10.zip"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected.join(u',').toStdString());
        model.setNameOrder(row.names);
        model.sort(row.column, row.order);
        EXPECT_EQ(model.names(), row.expected);
        const int at = int(row.expected.indexOf(QStringLiteral("b.nes")));
        std::vector<char> selected(3, 0);
        selected[size_t(at)] = 1;
        EXPECT_EQ(selectedFlags(selection, model.count()), selected);
    }

    // What the columns show, and what a new read of the folder keeps.
    model.setNameOrder(NameOrder::Natural);
    model.sort(FileListModel::NameColumn, Qt::AscendingOrder);
    model.reload();
    const int rev2 = int(model.names().indexOf(QStringLiteral("Rev 2.zip")));
    EXPECT_EQ(model.data(model.index(rev2, FileListModel::SizeColumn), FileListModel::SortRole),
              QVariant(qint64(1200)));
    EXPECT_TRUE(model.data(model.index(rev2, FileListModel::SizeColumn))
                    .toString()
                    .startsWith(QStringLiteral("1")));
    EXPECT_EQ(
        model.data(model.index(rev2, FileListModel::ModifiedColumn), FileListModel::SortRole),
        QVariant(base.addSecs(300).toMSecsSinceEpoch()));
    EXPECT_EQ(model.data(model.index(rev2, FileListModel::VerdictColumn)), QVariant("Bad"));
    EXPECT_EQ(model.verdict(int(model.names().indexOf(QStringLiteral("Rev 10.zip")))),
              Verdict::NotTested);
    // The filter keeps the order.
    model.setPattern(QStringLiteral("Rev*"));
    EXPECT_EQ(model.names(), (QStringList{"Rev 2.zip", "Rev 10.zip"}));
}
