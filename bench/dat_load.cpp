// SPDX-License-Identifier: GPL-3.0-or-later
// Times loading DAT catalogues: dat_load FILE... prints, for each, the sets and ROMs read, the
// best of 5 loads in milliseconds (wall clock and processor time: on a shared machine the
// second is the steadier) and the process's peak memory.
#include "catalogue/CatalogueReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <ctime>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        qint64 best = -1;
        double bestCpu = -1;
        int sets = 0;
        int roms = 0;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timespec cpu0, cpu1;
            ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
            timer.start();
            QString error;
            const auto c = kelmar::catalogue::loadCatalogue(path, &error);
            const qint64 ns = timer.nsecsElapsed();
            ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
            const double cpu = double(cpu1.tv_sec - cpu0.tv_sec) * 1e3 +
                               double(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
            bestCpu = bestCpu < 0 ? cpu : qMin(bestCpu, cpu);
            if (!c) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            sets = int(c->sets.size());
            roms = c->romCount();
            best = best < 0 ? ns : qMin(best, ns);
        }
        struct rusage usage;
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("%-24s %6d sets %7d roms  load %7.1f ms (cpu %7.1f ms)  peak %6.1f MB\n",
                    qPrintable(path.section(u'/', -1)), sets, roms, double(best) / 1e6, bestCpu,
                    double(usage.ru_maxrss) / 1024.0);
    }
    return 0;
}
