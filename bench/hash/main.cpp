// Fingerprint throughput against the system's md5sum on the same file, from a warm cache.
#include <domain/hashgenerator.h>

#include <bench/benchsupport.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

using Bench::median;

namespace {

constexpr int runs = 5;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_hash FILE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const double mib = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    if (mib <= 0) {
        std::fprintf(stderr, "bench_hash: %s is missing or empty\n", argv[1]);
        return 2;
    }

    Nod::Domain::HashGenerator generator;
    const QString ours = generator.generate(path); // warms the page cache
    std::vector<double> oursRates;
    std::vector<double> md5sumRates;
    QString theirs;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (generator.generate(path) != ours) {
            std::fprintf(stderr, "bench_hash: digest changed between runs\n");
            return 1;
        }
        oursRates.push_back(mib / (double(timer.nsecsElapsed()) / 1e9));

        QProcess md5sum;
        timer.restart();
        md5sum.start(QStringLiteral("md5sum"), { path });
        if (!md5sum.waitForFinished(-1) || md5sum.exitCode() != 0) {
            std::fprintf(stderr, "bench_hash: md5sum failed\n");
            return 1;
        }
        md5sumRates.push_back(mib / (double(timer.nsecsElapsed()) / 1e9));
        theirs = QString::fromLatin1(md5sum.readAllStandardOutput().left(32));
    }
    if (theirs != ours) {
        std::fprintf(
            stderr, "bench_hash: digest %s differs from md5sum's %s\n", qPrintable(ours), qPrintable(theirs));
        return 1;
    }
    const double oursMedian = median(oursRates);
    const double md5sumMedian = median(md5sumRates);
    QTextStream out(stdout);
    out << "hash_mib_s: " << QString::number(oursMedian, 'f', 1) << " MiB/s\n";
    out << "md5sum_mib_s: " << QString::number(md5sumMedian, 'f', 1) << " MiB/s\n";
    out << "md5sum_ratio: " << QString::number(oursMedian / md5sumMedian, 'f', 3) << " x\n";
    return 0;
}
