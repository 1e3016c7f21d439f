#include "infrastructure/testsupport.h"
#include "support/programstorage.h"

#include <app/maintabbar.h>
#include <app/mainwindow.h>
#include <app/storage/settings.h>
#include <app/tabbar.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <indexing/searchindexer.h>
#include <library/fulltextresults.h>
#include <library/librarywidget.h>
#include <library/shelfview.h>
#include <reading/basepage.h>
#include <reading/pdfdocumentview.h>
#include <reading/searching.h>
#include <reading/tab/documentwidget.h>

#include <QFont>
#include <QGraphicsPathItem>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace Nod::Presentation;
using Common::Infrastructure::Settings;

namespace SearchHitMark {
const QString start(Nod::Indexing::SearchHit::EmphasisStart);
const QString end(Nod::Indexing::SearchHit::EmphasisEnd);
} // namespace SearchHitMark

class FullTextSearchTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramStorage> m_storage;
    std::unique_ptr<MainWindow> m_window;

    QString makePdf(const QString &name, const QStringList &pages)
    {
        const QString path = m_storage->filePath(name);
        QPdfWriter writer(path);
        writer.setResolution(72);
        QPainter painter(&writer);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(14);
        painter.setFont(font);
        for (int i = 0; i < pages.size(); ++i) {
            if (i > 0) {
                writer.newPage();
            }
            painter.drawText(QPointF(72, 120), pages.at(i));
        }
        painter.end();
        return path;
    }

    int addNote(int documentId, int page, const QString &text)
    {
        Nod::Application::NoteService *notes = Nod::Application::ServiceRegistry::instance()->noteService();
        const int root = notes->documentNote(documentId).id();
        Nod::Application::NewAnnotation request;
        request.id = notes->nextId();
        request.documentId = documentId;
        request.pageIndex = page;
        request.position = QPointF(72, 100);
        request.canvas = Nod::Domain::Marker(QRectF(72, 100, 60, 30));
        request.noteText = text;
        request.parentId = root;
        request.index = notes->annotation(root).children().size();
        notes->newAnnotation(request);
        return request.id;
    }

    QTreeWidgetItem *hitRow(const QString &place) const
    {
        FullTextResults *results = m_window->libraryWidget()->fullTextResults();
        for (int i = 0; i < results->topLevelItemCount(); ++i) {
            for (int j = 0; j < results->topLevelItem(i)->childCount(); ++j) {
                if (results->topLevelItem(i)->child(j)->text(0) == place) {
                    return results->topLevelItem(i)->child(j);
                }
            }
        }
        return nullptr;
    }

    void activate(QTreeWidgetItem *item)
    {
        FullTextResults *results = m_window->libraryWidget()->fullTextResults();
        results->setFocus();
        results->setCurrentItem(item);
        QTest::keyClick(results, Qt::Key_Return);
    }

private slots:
    void init()
    {
        m_storage = std::make_unique<ProgramStorage>();
        QVERIFY(m_storage->isValid());
        m_window = std::make_unique<MainWindow>();
        m_window->resize(1000, 700);
        QSignalSpy settled(m_window.get(), &MainWindow::startSettled);
        m_window->show();
        m_window->finishStart(); // as the program does once its start has opened what it opens
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(settled.count(), 1); // the index is at work from here on
    }

    void cleanup()
    {
        m_window.reset();
        m_storage.reset();
    }

    void wholeList_keepsTheChosenRowInPlace()
    {
        const auto hit = [](int documentId, int page) {
            Nod::Indexing::SearchHit result;
            result.documentId = documentId;
            result.page = page;
            result.snippet
                = QStringLiteral("the ") + SearchHitMark::start + QStringLiteral("word") + SearchHitMark::end;
            return result;
        };
        const auto titleOf = [](int documentId) { return QStringLiteral("Document %1").arg(documentId); };
        QVector<Nod::Indexing::SearchHit> first { hit(1, 0), hit(2, 0), hit(3, 0), hit(1, 1), hit(3, 1) };
        // The whole list: the first screen in the same order, more hits in the groups above and after.
        QVector<Nod::Indexing::SearchHit> whole = first;
        whole << hit(1, 2) << hit(2, 1) << hit(1, 3) << hit(2, 2) << hit(3, 2);
        for (int d = 4; d < 16; ++d) {
            whole << hit(d, 0);
        }

        FullTextResults results;
        results.resize(400, 240);
        results.show();
        QVERIFY(QTest::qWaitForWindowExposed(&results));
        results.setResults(first, titleOf);
        QTreeWidgetItem *chosen = results.topLevelItem(2)->child(0);
        QCOMPARE(chosen->data(0, FullTextResults::DocumentIdRole).toInt(), 3);
        results.topLevelItem(1)->setExpanded(false); // the user folds a group
        const int top = results.visualItemRect(chosen).top();
        QTest::mouseClick(results.viewport(), Qt::LeftButton, {}, results.visualItemRect(chosen).center());
        QCOMPARE(results.currentItem(), chosen);

        results.setResults(whole, titleOf, true);
        QTreeWidgetItem *current = results.currentItem();
        QVERIFY(current && current->parent());
        QCOMPARE(current->data(0, FullTextResults::DocumentIdRole).toInt(), 3);
        QCOMPARE(current->data(0, FullTextResults::PageRole).toInt(), 0);
        QCOMPARE(results.visualItemRect(current).top(), top);
        QVERIFY(!results.topLevelItem(1)->isExpanded());
        QCOMPARE(results.topLevelItem(0)->childCount(), 4);

        // Another search starts at its best document.
        results.setResults(whole, titleOf);
        QCOMPARE(results.currentItem(), results.topLevelItem(0));
        QCOMPARE(results.verticalScrollBar()->value(), 0);
        QVERIFY(results.topLevelItem(1)->isExpanded());
    }

    void hits_openTheirPageWithTheHighlightOrTheirNote()
    {
        LibraryWidget *library = m_window->libraryWidget();
        Nod::Indexing::SearchIndexer *indexer = m_window->searchIndexer();
        QVERIFY(indexer);
        QStringList progress;
        connect(indexer, &Nod::Indexing::SearchIndexer::progressChanged, this, [&progress, library] {
            if (library->indexProgressLabel()->isVisibleTo(library)) {
                progress.append(library->indexProgressLabel()->text());
            }
        });
        QSignalSpy idle(indexer, &Nod::Indexing::SearchIndexer::idle);
        QStringList pages;
        for (int i = 0; i < 9; ++i) {
            pages.append(QStringLiteral("Ordinary page %1").arg(i + 1));
        }
        pages[6] = QStringLiteral("A spoonful of marmalade at breakfast");
        const int book = library->addFile(makePdf(QStringLiteral("book.pdf"), pages)).value_or(-1);
        const int other = library
                              ->addFile(makePdf(QStringLiteral("other.pdf"),
                                  { QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three") }))
                              .value_or(-1);
        QVERIFY(book > 0 && other > 0);
        const int note = addNote(other, 2, QStringLiteral("Bitter orange marmalade, twice boiled"));
        QTRY_VERIFY_WITH_TIMEOUT(!indexer->isIndexing(), 30000);
        QVERIFY(progress.contains(QStringLiteral("Indexing 1 of 1 documents"))
            || progress.contains(QStringLiteral("Indexing 1 of 2 documents")));
        QVERIFY(!library->indexProgressLabel()->isVisibleTo(library));

        // The toggle turns the search line to the full text; the shelf gives way to the hits.
        QTest::mouseClick(library->fullTextToggle(), Qt::LeftButton);
        QVERIFY(library->isFullTextMode());
        QTest::keyClicks(library->searchLine(), QStringLiteral("marmalade"));
        QTest::keyClick(library->searchLine(), Qt::Key_Return);
        FullTextResults *results = library->fullTextResults();
        QTRY_COMPARE(results->topLevelItemCount(), 2);
        QVERIFY(results->isVisible());
        QTreeWidgetItem *pageRow = hitRow(QStringLiteral("page 7"));
        QVERIFY(pageRow);
        QCOMPARE(pageRow->parent()->text(0), QStringLiteral("book.pdf"));
        QVERIFY(pageRow->data(1, FullTextResults::SnippetRole)
                    .toString()
                    .contains(QStringLiteral("<b>marmalade</b>")));
        QTreeWidgetItem *noteRow = hitRow(QStringLiteral("note"));
        QVERIFY(noteRow);
        QCOMPARE(noteRow->data(0, FullTextResults::AnnotationIdRole).toInt(), note);

        activate(pageRow);
        auto *tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
        QVERIFY(tab);
        QCOMPARE(tab->documentId(), book);
        QTRY_COMPARE(tab->readingView()->currentPage(), 6);
        Searching *searching = tab->readingView()->searching();
        QCOMPARE(searching->keyword(), QStringLiteral("marmalade"));
        QTRY_VERIFY(searching->currentHighlight() != nullptr);
        auto *onPage = dynamic_cast<Base::Page *>(searching->currentHighlight()->parentItem());
        QVERIFY(onPage);
        QCOMPARE(onPage->pageNumber(), 6);
        QCOMPARE(tab->readingView()->currentPage(), 6);

        // A note's hit shows its mark.
        m_window->mainTabBar()->tabBar()->setCurrentIndex(0);
        activate(noteRow);
        tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
        QVERIFY(tab);
        QCOMPARE(tab->documentId(), other);
        QTRY_COMPARE(tab->readingView()->currentPage(), 2);

        // Back in the library: a mistake in the query is explained, and the title filter returns
        // with the toggle.
        m_window->mainTabBar()->tabBar()->setCurrentIndex(0);
        library->searchLine()->clear();
        QTest::keyClicks(library->searchLine(), QStringLiteral("\"spoonful of"));
        QTest::keyClick(library->searchLine(), Qt::Key_Return);
        QVERIFY(library->searchMessage()->isVisible());
        QVERIFY(library->searchMessage()->text().contains(QStringLiteral("quotation mark")));
        QCOMPARE(results->topLevelItemCount(), 0);
        QTest::mouseClick(library->fullTextToggle(), Qt::LeftButton);
        QVERIFY(!library->isFullTextMode());
        QVERIFY(library->shelfView()->isVisible());
    }
};

QTEST_MAIN(FullTextSearchTest)
#include "tst_fulltextsearch.moc"
