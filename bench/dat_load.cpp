// Times loading DAT catalogues: dat_load FILE... prints, for each, the sets and ROMs read, the
// best of 5 loads in milliseconds and the process's peak memory.
#include "catalogue/CatalogueReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        qint64 best = -1;
        int sets = 0;
        int roms = 0;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            QString error;
            const auto c = kelmar::catalogue::loadCatalogue(path, &error);
            const qint64 ns = timer.nsecsElapsed();
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
        std::printf("%-40s %6d sets %7d roms  load %7.1f ms  peak %6.1f MB\n",
                    qPrintable(path.section(u'/', -1)), sets, roms, double(best) / 1e6,
                    double(usage.ru_maxrss) / 1024.0);
    }
    return 0;
}
