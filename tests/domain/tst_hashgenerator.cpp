// The content fingerprint: digests, progress reports and failures.
#include <domain/hashgenerator.h>

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Nod::Domain::HashGenerator;

namespace {

QStringList capturedWarnings;

void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg) {
        capturedWarnings.append(message);
    }
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        return QString();
    }
    return path;
}

QList<qint64> totals(const QSignalSpy &spy)
{
    QList<qint64> result;
    for (const QList<QVariant> &arguments : spy) {
        result.append(arguments.at(0).toLongLong());
    }
    return result;
}

} // namespace

class HashGeneratorTest final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void emptyFile_givesDigestOfNoBytesWithoutProgress();
    void sameBytesUnderDifferentPaths_giveSameFingerprint();
    void multiChunkFile_reportsRunningTotalsPerChunk();
    void unopenableFile_givesEmptyStringAndOneWarning_data();
    void unopenableFile_givesEmptyStringAndOneWarning();
    void fileOfMoreThan2GiB_reportsProgressWithoutOverflow();

private:
    QTemporaryDir m_dir;
};

void HashGeneratorTest::init() { QVERIFY(m_dir.isValid()); }

void HashGeneratorTest::emptyFile_givesDigestOfNoBytesWithoutProgress()
{
    const QString path = writeFile(m_dir, QStringLiteral("empty.pdf"), QByteArray());
    HashGenerator generator;
    QSignalSpy progress(&generator, &HashGenerator::progressChanged);
    QCOMPARE(generator.generate(path), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(progress.count(), 0);
}

void HashGeneratorTest::sameBytesUnderDifferentPaths_giveSameFingerprint()
{
    const QString first = writeFile(m_dir, QStringLiteral("a.pdf"), "abc");
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("moved")));
    const QString second = writeFile(m_dir, QStringLiteral("moved/copy of a.pdf"), "abc");
    const QString other = writeFile(m_dir, QStringLiteral("b.pdf"), "abd");
    HashGenerator generator;
    QCOMPARE(generator.generate(first), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(generator.generate(second), generator.generate(first));
    QVERIFY(generator.generate(other) != generator.generate(first));
    // A relative path names the same file.
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QCOMPARE(generator.generate(QStringLiteral("moved/copy of a.pdf")), generator.generate(first));
}

void HashGeneratorTest::multiChunkFile_reportsRunningTotalsPerChunk()
{
    QByteArray bytes(int(2 * HashGenerator::chunkSize + 123), '\0');
    for (int i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 7919) >> 3);
    }
    const QString path = writeFile(m_dir, QStringLiteral("big.epub"), bytes);
    HashGenerator generator;
    QSignalSpy progress(&generator, &HashGenerator::progressChanged);
    QCOMPARE(generator.generate(path),
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()));
    QCOMPARE(totals(progress),
        QList<qint64>({ HashGenerator::chunkSize, 2 * HashGenerator::chunkSize, qint64(bytes.size()) }));

    // An exact multiple of the chunk size ends on a full chunk, with no empty report after it.
    const QString exact
        = writeFile(m_dir, QStringLiteral("exact.pdf"), bytes.left(int(HashGenerator::chunkSize)));
    progress.clear();
    generator.generate(exact);
    QCOMPARE(totals(progress), QList<qint64>({ HashGenerator::chunkSize }));
}

void HashGeneratorTest::unopenableFile_givesEmptyStringAndOneWarning_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no such file.pdf"));
    QTest::newRow("folder") << m_dir.path();
    QTest::newRow("empty path") << QString();
}

void HashGeneratorTest::unopenableFile_givesEmptyStringAndOneWarning()
{
    QFETCH(QString, path);
    HashGenerator generator;
    QSignalSpy progress(&generator, &HashGenerator::progressChanged);
    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    const QString digest = generator.generate(path);
    qInstallMessageHandler(previous);

    QVERIFY(digest.isEmpty());
    QVERIFY(digest.isNull());
    QCOMPARE(progress.count(), 0);
    QCOMPARE(capturedWarnings.size(), 1);
    const QString warning = capturedWarnings.first();
    QVERIFY2(warning.startsWith(QStringLiteral("HashGenerator::generate")), qPrintable(warning));
    QVERIFY2(warning.contains(QStringLiteral("can't open file: ")), qPrintable(warning));
    QVERIFY2(warning.contains(path), qPrintable(warning));
}

void HashGeneratorTest::fileOfMoreThan2GiB_reportsProgressWithoutOverflow()
{
    // A sparse file: large on paper, cheap on disk.
    const qint64 size = (qint64(5) << 29) + 17; // 2.5 GiB and a bit
    const QString path = m_dir.filePath(QStringLiteral("huge.pdf"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(size)) {
            QSKIP("the temporary folder cannot hold a sparse file of this size");
        }
    }
    HashGenerator generator;
    QSignalSpy progress(&generator, &HashGenerator::progressChanged);
    const QString digest = generator.generate(path);
    QCOMPARE(digest.size(), 32);
    const QList<qint64> reported = totals(progress);
    QCOMPARE(reported.size(), int((size + HashGenerator::chunkSize - 1) / HashGenerator::chunkSize));
    QCOMPARE(reported.last(), size);
    for (int i = 1; i < reported.size(); ++i) {
        QVERIFY(reported.at(i) > reported.at(i - 1));
    }
}

QTEST_GUILESS_MAIN(HashGeneratorTest)
#include "tst_hashgenerator.moc"
