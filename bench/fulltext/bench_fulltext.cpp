// bench_fulltext [BOOK.pdf] [PAGES]
//
// Part one, on a real book (default: the R reference manual that fetch-sample-docs unpacks): the
// back-end's text extraction alone over every page (text_pages_per_s), then the whole indexer run
// over the same book from an empty index, the way the program runs it (index_pages_per_s), with the
// longest stall of the interface thread meanwhile (max_ui_stall_ms, a 1 ms watchdog timer).
//
// Part two, on a generated library of PAGES pages (default 100,000) in 1,000 documents and a note
// for every fifth page: the index's size per byte of text stored (index_bytes_per_text_byte), and for
// a common word, a rare word, a phrase and a prefix, searched as the library searches, the time to
// the first screen, the best 20 hits with their passages (query_first_results_ms), and to the whole
// list, the best 500 with passages and the count of all (query_all_results_ms), each the median of
// five runs, the worst of the four reported.

#include <bench/benchdocument.h>
#include <bench/benchsupport.h>
#include <bench/interfacewatch.h>

#include <application/serviceregistry.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>
#include <indexing/searchindex.h>
#include <indexing/searchindexer.h>
#include <indexing/searchquery.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

using Nod::Indexing::SearchIndex;
using Nod::Indexing::SearchQuery;

QString defaultBook()
{
    return QDir::home().filePath(
        QStringLiteral(".cache/nodera-samples/x/r-doc-pdf/usr/share/R/doc/manual/fullrefman.pdf"));
}

bool benchBook(const QString &path)
{
    QSharedPointer<Backend::Document> document = BackendManager::instance()->openDocument(path);
    if (!document || document->pageCount() <= 0) {
        std::fprintf(stderr, "cannot open %s; run /work/shared/tools/fetch-sample-docs\n", qPrintable(path));
        return false;
    }
    const int pages = document->pageCount();
    Bench::print("book_pages", pages, "pages");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < pages; ++i) {
        if (const QSharedPointer<Backend::Page> page = document->pageAt(i).toStrongRef()) {
            QVector<QRectF> boxes;
            page->text(boxes);
        }
        if (i % 64 == 63) {
            document->clearPages();
        }
    }
    const double textSeconds = timer.nsecsElapsed() / 1e9;
    document.reset();
    Bench::print("text_pages_per_s", pages / textSeconds, "pages/s");

    Bench::Workspace workspace;
    if (!workspace.open() || workspace.addDocument(path, QStringLiteral("Book")) <= 0) {
        return false;
    }
    Nod::Application::ServiceRegistry *registry = workspace.registry();
    Nod::Indexing::SearchIndexer indexer(registry->documentService(), registry->noteService(),
        registry->categoryService(), registry->tagService(),
        workspace.filePath(QStringLiteral("search-index")));
    QEventLoop loop;
    QObject::connect(&indexer, &Nod::Indexing::SearchIndexer::idle, &loop, &QEventLoop::quit);
    Bench::Watchdog watchdog;
    watchdog.start();
    timer.restart();
    indexer.start();
    loop.exec();
    const double indexSeconds = timer.nsecsElapsed() / 1e9;
    Bench::print("index_pages_per_s", pages / indexSeconds, "pages/s");
    Bench::print("index_vs_text", textSeconds / indexSeconds, "ratio");
    Bench::print("max_ui_stall_ms", watchdog.stop(), "ms");
    return true;
}

// Words drawn with a Zipf-like law from a made-up vocabulary, so that some are everywhere and most
// are rare, as in real text.
class TextMaker
{
public:
    TextMaker()
    {
        static const char *syllables[] = { "ka", "lo", "mi", "ret", "sa", "pon", "tu", "vel", "dra", "ne",
            "qui", "bor", "el", "stra", "fi", "gum" };
        for (int i = 0; i < 20000; ++i) {
            QString word;
            int n = i;
            do {
                word += QLatin1String(syllables[n % 16]);
                n /= 16;
            } while (n > 0);
            m_words.append(word);
        }
        double sum = 0;
        for (int i = 0; i < m_words.size(); ++i) {
            sum += 1.0 / (i + 1);
            m_cumulative.append(sum);
        }
    }
    QString word()
    {
        const double x = m_random.generateDouble() * m_cumulative.last();
        const int i
            = int(std::lower_bound(m_cumulative.begin(), m_cumulative.end(), x) - m_cumulative.begin());
        return m_words.at(qMin(i, m_words.size() - 1));
    }
    QString text(int words)
    {
        QString result;
        for (int i = 0; i < words; ++i) {
            result += word();
            result += (i % 12 == 11) ? QLatin1String(".\n") : QLatin1String(" ");
        }
        return result;
    }
    const QStringList &words() const { return m_words; }

private:
    QStringList m_words;
    QVector<double> m_cumulative;
    QRandomGenerator m_random { 7 };
};

bool benchLibrary(int pageTotal)
{
    QTemporaryDir dir;
    SearchIndex index;
    if (!index.open(dir.filePath(QStringLiteral("search-index")))) {
        return false;
    }
    TextMaker maker;
    const int documents = 1000;
    const int pagesPerDocument = qMax(1, pageTotal / documents);
    qint64 textBytes = 0;
    for (int d = 1; d <= documents; ++d) {
        QStringList pages;
        for (int p = 0; p < pagesPerDocument; ++p) {
            QString text = maker.text(250);
            if (((d - 1) * pagesPerDocument + p) % 9973 == 0) {
                text += QStringLiteral(" zanzibar");
            }
            if ((d + p) % 50 == 0) {
                text += QStringLiteral(" ancient harbour walls");
            }
            textBytes += text.toUtf8().size();
            pages.append(text);
        }
        if (!index.startPages(d, QStringLiteral("hash%1").arg(d), pagesPerDocument)
            || !index.addPages(d, 0, pages)) {
            return false;
        }
        const QString details = QStringLiteral("Title %1\n").arg(d) + maker.text(20);
        textBytes += details.toUtf8().size();
        index.putEntry(d, -1, 0, SearchIndex::stampFor(details), details);
    }
    const int notes = pageTotal / 5;
    for (int n = 0; n < notes; ++n) {
        const QString text = maker.text(30);
        textBytes += text.toUtf8().size();
        index.putEntry(
            1 + n % documents, n % pagesPerDocument, 1000000 + n, SearchIndex::stampFor(text), text);
    }
    Bench::print("library_pages", documents * pagesPerDocument, "pages");
    Bench::print("library_notes", notes, "notes");
    const QString path = index.path();
    index.close(); // the log goes into the file
    Bench::print("index_bytes_per_text_byte", double(QFileInfo(path).size()) / textBytes, "ratio");
    if (!index.openForQueries(path)) {
        return false;
    }

    const QList<QPair<const char *, QString>> queries {
        { "common", maker.words().at(0) },
        { "rare", QStringLiteral("zanzibar") },
        { "phrase", QStringLiteral("\"ancient harbour walls\"") },
        { "prefix", maker.words().at(3).left(3) + QLatin1Char('*') },
    };
    double worstFirst = 0;
    double worstAll = 0;
    for (const auto &entry : queries) {
        const SearchQuery query = SearchQuery::parse(entry.second);
        std::vector<double> first;
        std::vector<double> all;
        int total = 0;
        for (int run = 0; run < 5; ++run) {
            // As the library shows it: the first screen as soon as it is ready, then the whole list.
            QElapsedTimer timer;
            timer.start();
            double firstMs = -1;
            const Nod::Indexing::SearchResults results = index.search(query, 500, 20,
                [&](const Nod::Indexing::SearchResults &) { firstMs = timer.nsecsElapsed() / 1e6; });
            const double allMs = timer.nsecsElapsed() / 1e6;
            first.push_back(firstMs < 0 ? allMs : firstMs); // the whole list fit on the first screen
            all.push_back(allMs);
            total = results.total;
        }
        const QByteArray name = entry.first;
        Bench::print(("query_hits_" + name).constData(), total, "hits");
        Bench::print(("query_first_results_ms_" + name).constData(), Bench::median(first), "ms");
        Bench::print(("query_all_results_ms_" + name).constData(), Bench::median(all), "ms");
        worstFirst = qMax(worstFirst, Bench::median(first));
        worstAll = qMax(worstAll, Bench::median(all));
    }
    Bench::print("query_first_results_ms", worstFirst, "ms");
    Bench::print("query_all_results_ms", worstAll, "ms");
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // The figures only: the back-end's per-page trace and the services' lines stay out.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    QApplication app(argc, argv);
    const QString book = argc > 1 ? QString::fromLocal8Bit(argv[1]) : defaultBook();
    const int pages = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100000;
    const bool bookOk = benchBook(book);
    const bool libraryOk = benchLibrary(pages);
    return bookOk && libraryOk ? 0 : 1;
}
