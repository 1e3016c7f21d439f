#pragma once

#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <indexing/searchindexer.h>
#include <indexing/searchquery.h>

#include <QCryptographicHash>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// Shared by the full-text tests: real PDFs with chosen text per page, and an indexer run to its end.
namespace IndexingTest {

// One page per entry, each showing its text.
inline bool writePdf(const QString &path, const QStringList &pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    painter.setFont(font);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.drawText(QRectF(72, 72, 450, 600), Qt::TextWordWrap, pages.at(i));
    }
    return painter.end();
}

inline QString md5Of(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex());
}

// A document over a new PDF of these pages.
inline int addPdf(ServiceFixture &fixture, const QString &name, const QStringList &pages)
{
    const QString path = fixture.path(name + QStringLiteral(".pdf"));
    if (!writePdf(path, pages)) {
        return -1;
    }
    return fixture.registry()->documentService()->newDocument(md5Of(path), path, name);
}

inline std::unique_ptr<Nod::Indexing::SearchIndexer> makeIndexer(
    ServiceFixture &fixture, int pagesPerBatch = 64)
{
    Nod::Application::ServiceRegistry *registry = fixture.registry();
    auto indexer = std::make_unique<Nod::Indexing::SearchIndexer>(registry->documentService(),
        registry->noteService(), registry->categoryService(), registry->tagService(),
        fixture.path(QStringLiteral("search-index")));
    indexer->setPagesPerBatch(pagesPerBatch);
    return indexer;
}

// Starts the indexer and waits until it has looked at every document of the library.
inline bool startAndWait(Nod::Indexing::SearchIndexer &indexer)
{
    QSignalSpy idle(&indexer, &Nod::Indexing::SearchIndexer::idle);
    indexer.start();
    return idle.wait(60000);
}

inline Nod::Indexing::SearchResults search(
    Nod::Indexing::SearchIndexer &indexer, const QString &text, int limit = 100)
{
    QSignalSpy finished(&indexer, &Nod::Indexing::SearchIndexer::searchFinished);
    const int id = indexer.search(Nod::Indexing::SearchQuery::parse(text), limit);
    while (finished.wait(10000)) {
        for (const QList<QVariant> &arguments : qAsConst(finished)) {
            const auto results = arguments.at(1).value<Nod::Indexing::SearchResults>();
            if (arguments.at(0).toInt() == id && results.complete) {
                return results;
            }
        }
    }
    return {};
}

} // namespace IndexingTest
