#include "support/programhome.h"

#include <app/commandline.h>

#include <QtTest>

#include <vector>

using Nod::App::CommandLineOption;

namespace {

QStringList optionNames()
{
    QStringList names;
    for (const CommandLineOption &option : Nod::App::commandLineOptions()) {
        names.append(QString::fromLatin1(option.name));
        if (option.shortName) {
            names.append(QString::fromLatin1(option.shortName));
        }
    }
    return names;
}

std::optional<int> decide(const QStringList &arguments)
{
    std::vector<QByteArray> bytes;
    bytes.push_back("NoderaReader");
    for (const QString &argument : arguments) {
        bytes.push_back(argument.toLocal8Bit());
    }
    std::vector<char *> argv;
    for (QByteArray &b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);
    return Nod::App::runCommandLineOption(int(bytes.size()), argv.data());
}

} // namespace

// What the command line accepts before any window or hand-over exists: help and version print and
// end, a mistyped option ends with the usage and is never opened as a file.
class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void helpAndVersion_printAndExitZeroWithoutADisplay()
    {
        ProgramHome home;
        for (const QString &help : { QStringLiteral("--help"), QStringLiteral("-h") }) {
            const ProgramRun run = home.run({ help });
            QCOMPARE(run.code, 0);
            QVERIFY2(run.output.startsWith(QStringLiteral("Usage: NoderaReader")), qPrintable(run.output));
            for (const QString &name : optionNames()) {
                QVERIFY2(run.output.contains(name), qPrintable(name));
            }
            for (const QString &line : run.output.split(QLatin1Char('\n'))) {
                QVERIFY2(line.size() <= 80, qPrintable(line));
            }
        }
        for (const QString &version : { QStringLiteral("--version"), QStringLiteral("-v") }) {
            const ProgramRun run = home.run({ version });
            QCOMPARE(run.code, 0);
            QCOMPARE(run.output, QStringLiteral("Nodera Reader " NODERA_VERSION "\n"));
            QVERIFY(run.errors.isEmpty());
        }
        // A files argument after the option changes nothing, and nothing was set up on the way.
        const ProgramRun run = home.run({ QStringLiteral("--version"), QStringLiteral("book.pdf") });
        QCOMPARE(run.code, 0);
        QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("Documents/Nodera Reader"))));
    }

    void unknownOption_printsUsageOnStandardErrorAndExitsTwo()
    {
        ProgramHome home;
        QFile pdf(home.filePath(QStringLiteral("book.pdf")));
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("%PDF-1.4\n");
        pdf.close();
        // "--bogus" exists as a file too: it is still an option, never a document.
        QFile bogus(home.filePath(QStringLiteral("--bogus")));
        QVERIFY(bogus.open(QIODevice::WriteOnly));
        bogus.close();
        const QList<QStringList> commandLines = {
            { QStringLiteral("--bogus") },
            { QStringLiteral("-x") },
            { QStringLiteral("book.pdf"), QStringLiteral("--bogus") },
            { QStringLiteral("--bogus"), QStringLiteral("book.pdf") },
            { QStringLiteral("-") },
        };
        for (const QStringList &arguments : commandLines) {
            const ProgramRun run = home.run(arguments);
            QCOMPARE(run.code, 2);
            QVERIFY(run.output.isEmpty());
            QVERIFY2(run.errors.contains(QStringLiteral("Usage: NoderaReader")), qPrintable(run.errors));
            const QString option = arguments.contains(QStringLiteral("book.pdf")) && arguments.size() == 2
                ? QStringLiteral("--bogus")
                : arguments.first();
            QVERIFY2(run.errors.contains(QStringLiteral("unknown option ") + option), qPrintable(run.errors));
        }
        QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("Documents/Nodera Reader"))));
    }

    void toolkitOptionsAndFilesAfterTheEnd_startAsUsual_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("files") << QStringList { QStringLiteral("a.pdf"), QStringLiteral("b.epub") }
                               << QStringList { QStringLiteral("a.pdf"), QStringLiteral("b.epub") };
        QTest::newRow("style with its value")
            << QStringList { QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("a.pdf") }
            << QStringList { QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("a.pdf") };
        QTest::newRow("session, double dash") << QStringList { QStringLiteral("--session"),
            QStringLiteral("-x") } << QStringList { QStringLiteral("--session"), QStringLiteral("-x") };
        QTest::newRow("inline value") << QStringList { QStringLiteral("-platform=offscreen") }
                                      << QStringList { QStringLiteral("-platform=offscreen") };
        QTest::newRow("end of options") << QStringList { QStringLiteral("a.pdf"), QStringLiteral("--"),
            QStringLiteral("--help"), QStringLiteral("-notes.pdf") }
                                        << QStringList { QStringLiteral("a.pdf"), QStringLiteral("--help"),
                                               QStringLiteral("-notes.pdf") };
    }

    void toolkitOptionsAndFilesAfterTheEnd_startAsUsual()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QVERIFY(!decide(arguments).has_value());
        QCOMPARE(Nod::App::fileArguments(QStringList { QStringLiteral("NoderaReader") } + arguments), files);
    }

    void manualPage_describesEveryOption()
    {
        QFile page(QStringLiteral(NODERA_SOURCE_DIR "/packaging/NoderaReader.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        const QString options
            = text.section(QStringLiteral(".SH OPTIONS"), 1).section(QStringLiteral("\n.SH "), 0, 0);
        QVERIFY(!options.isEmpty());
        for (QString name : optionNames()) {
            name.replace(QLatin1Char('-'), QStringLiteral("\\-"));
            QVERIFY2(options.contains(name), qPrintable(name));
        }
        QVERIFY(text.contains(QStringLiteral("\"Nodera Reader " NODERA_VERSION "\"")));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
