// SPDX-License-Identifier: GPL-3.0-or-later
// Times "select all" plus the selection counter on a folder of many files: the work done
// when a user presses " All" on a large collection.
//
// usage: select_count FOLDER [RUNS]
#include "browse/FileListModel.h"
#include "browse/Selection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelmar;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: select_count FOLDER [RUNS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    QElapsedTimer timer;
    timer.start();
    FileListModel model;
    model.setFolder(folder);
    const double listMs = timer.nsecsElapsed() / 1e6;

    std::vector<double> times;
    QString text;
    for (int run = 0; run < runs; ++run) {
        QItemSelectionModel selection(&model);
        timer.restart();
        selectAllRows(selection, model.count());
        const SelectionTotal total =
            measureSelection(model.folder(), model.names(), selectedFlags(selection, model.count()));
        text = selectionCounterText(total);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("files: %d\nlisting: %.1f ms\nselect all + counter: min %.1f ms, median %.1f ms, "
                "max %.1f ms (%d runs)\ncounter: %s\n",
                model.count(), listMs, times.front(), times[times.size() / 2], times.back(), runs,
                qPrintable(text));
    return 0;
}
