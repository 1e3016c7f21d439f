#pragma once

#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>

#include <backend/backendmanager.h>
#include <backend/document.h>

#include <QDir>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

#include <memory>

namespace ReadingTest {

inline QString fixture(const QString &name) { return QDir(QStringLiteral(BACKEND_TEST_DATA)).filePath(name); }

// A PDF of letter pages (landscape where the list says so); page i shows "Page <i+1>" at the top
// and a black box below it.
inline bool writePdf(const QString &path, int pages, const QList<int> &landscape = {})
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    const auto layoutFor = [&landscape](int page) {
        return QPageLayout(QPageSize(QPageSize::Letter),
            landscape.contains(page) ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
    };
    writer.setPageLayout(layoutFor(0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(20);
    painter.setFont(font);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.setPageLayout(layoutFor(i));
            writer.newPage();
        }
        painter.drawText(QPointF(72, 100), QStringLiteral("Page %1").arg(i + 1));
        painter.fillRect(QRectF(72, 200, 200, 100), Qt::black);
    }
    return painter.end();
}

inline QSharedPointer<Backend::Document> open(const QString &path)
{
    return BackendManager::instance()->openDocument(path);
}

// The reading view of a document, shown, at 72 dpi so that one point is one scene unit.
struct Reader
{
    explicit Reader(const QString &path, QSize size = QSize(500, 400))
        : document(open(path))
    {
        view = std::make_unique<PDFDocumentView>();
        view->resize(size);
        if (document) {
            scene = QSharedPointer<PDFDocumentScene>::create(document, 1, nullptr, 72, 72);
            view->setScene(scene);
        }
        view->show();
        exposed = QTest::qWaitForWindowExposed(view.get());
    }

    ReadingPageItem *page(int index) const { return scene->readingPageAt(index); }
    // Paints until the page shows its final image.
    bool waitSharp(int index, int timeout = 10000) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeout) {
            view->viewport()->repaint();
            if (page(index)->isSharp()) {
                return true;
            }
            QTest::qWait(10);
        }
        return false;
    }

    QSharedPointer<Backend::Document> document;
    QSharedPointer<PDFDocumentScene> scene;
    std::unique_ptr<PDFDocumentView> view;
    bool exposed = false;
};

} // namespace ReadingTest
