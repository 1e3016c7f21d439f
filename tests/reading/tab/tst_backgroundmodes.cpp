#include "support/tabfixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <domain/marker.h>
#include <domain/textrects.h>
#include <reading/backgroundmodeholder.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>

#include <app/storage/settings.h>

#include "backend/testdocuments.h"

#include <QAction>
#include <QSettings>

#include <memory>

using namespace Nod::Presentation;

namespace {
class PaintCounter final : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};
} // namespace
using Nod::Domain::BackgroundMode;
namespace Picture = TestDocuments::PicturePage;

// The background mode as a reader meets it in an open tab: a change shows at once on the page in
// sight, marks made afterwards paint for the new background, and a page that cannot be drawn says
// why.
class BackgroundModesTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<DocumentWidget> m_tab;
    int m_documentId = 0;

    PDFDocumentView *view() const { return m_tab->readingView(); }
    ReadingPageItem *page(int index) const { return view()->pdfScene()->readingPageAt(index); }

    QPoint toView(int pageIndex, const QPointF &pagePoint) const
    {
        const ReadingPageItem *item = page(pageIndex);
        return view()->mapFromScene(item->mapToScene(item->pageTransform().map(pagePoint)));
    }

    QRgb onScreen(int pageIndex, const QPointF &pagePoint) const
    {
        return view()->viewport()->grab().toImage().pixel(toView(pageIndex, pagePoint));
    }

    bool sharp(int pageIndex) const
    {
        view()->viewport()->repaint();
        return page(pageIndex)->isSharp();
    }

    bool open(const QString &path)
    {
        m_documentId = m_fixture->newDocument(path);
        m_tab = openDocumentTab(*m_fixture, m_documentId, QSize(900, 800));
        return m_tab != nullptr;
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_fixture->install();
        BackgroundModeHolder::instance()->setMode(BackgroundMode());
        BackgroundModeHolder::instance()->setKeepPictures(true);
    }

    void cleanup()
    {
        m_tab.reset();
        BackgroundModeHolder::instance()->setMode(BackgroundMode());
        QSettings raw(Common::Infrastructure::Settings::filePath(), QSettings::IniFormat);
        raw.clear();
        m_fixture.reset();
    }

    void nightMode_repaintsThePageInSight_andLaterHighlightsLighten()
    {
        const QString path = m_fixture->path(QStringLiteral("pictures.pdf"));
        QVERIFY(TestDocuments::writePicturePdf(path));
        QVERIFY(open(path));
        QTRY_VERIFY_WITH_TIMEOUT(sharp(0), 10000);
        const QPointF background(500, 150);
        const QPointF picture = Picture::Picture.topLeft() + QPointF(20, 20);
        QCOMPARE(QColor(onScreen(0, background)), QColor(Qt::white));
        const QRgb pictureBefore = onScreen(0, picture);

        // Chosen with the page in sight: it turns dark without a scroll, its picture stays.
        const QColor night(53, 62, 66);
        PaintCounter paints;
        view()->viewport()->installEventFilter(&paints);
        BackgroundModeHolder::instance()->setMode(BackgroundMode(1, night));
        // Nothing but the change asks the viewport to paint.
        QTRY_VERIFY_WITH_TIMEOUT(paints.count > 0 && page(0)->isSharp(), 10000);
        QCOMPARE(QColor(onScreen(0, background)), night);
        const QRgb pictureAfter = onScreen(0, picture);
        QVERIFY2(qAbs(qRed(pictureAfter) - qRed(pictureBefore)) <= 2
                && qAbs(qGreen(pictureAfter) - qGreen(pictureBefore)) <= 2
                && qAbs(qBlue(pictureAfter) - qBlue(pictureBefore)) <= 2,
            qPrintable(QStringLiteral("%1 then %2").arg(pictureBefore, 0, 16).arg(pictureAfter, 0, 16)));

        // A highlight dragged over the dark background lightens it: under darken, the
        // half-transparent yellow could only keep the red of the dark page or lower it.
        auto *highlight = m_tab->findChild<QAction *>(QStringLiteral("textHighlight"));
        QVERIFY(highlight);
        highlight->trigger();
        const QPoint from = toView(0, Picture::Text + QPointF(2, -8));
        const QPoint to = toView(0, Picture::Text + QPointF(180, -8));
        QTest::mousePress(view()->viewport(), Qt::LeftButton, Qt::NoModifier, from);
        for (int i = 1; i <= 8; ++i) {
            const QPoint at = from + (to - from) * i / 8;
            QMouseEvent move(QEvent::MouseMove, at, view()->viewport()->mapToGlobal(at), Qt::NoButton,
                Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view()->viewport(), &move);
        }
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, Qt::NoModifier, to);
        const QVector<Nod::Domain::Annotation> stored
            = m_fixture->registry()->noteService()->annotations(m_documentId, 0);
        QCOMPARE(stored.size(), 1);
        // The top of the line's box lies above the capitals: page background, under the mark.
        const QRectF first
            = stored.first().canvas().shape().value<Nod::Domain::TextRects>().first().translated(
                stored.first().position());
        const QPointF under(first.center().x(), first.top() + 1.5);
        view()->viewport()->repaint();
        const QRgb marked = onScreen(0, under);
        QVERIFY2(qRed(marked) > night.red() + 60, qPrintable(QString::number(marked, 16)));
    }

    void unloadablePage_saysWhyOnThePage()
    {
        const QString path = m_fixture->path(QStringLiteral("damaged.pdf"));
        QVERIFY(TestDocuments::writeDamagedPdf(path));
        QVERIFY(open(path));
        view()->setZoomLevel(0.4);
        // Page 2 is not in the page tree; page 1 draws as ever.
        QTRY_VERIFY_WITH_TIMEOUT(sharp(0), 10000);
        const auto inkOnPage = [this](int index) {
            const QImage shot = view()->viewport()->grab().toImage();
            const QRect area = QRect(toView(index, QPointF(100, 300)), toView(index, QPointF(512, 500)))
                                   .intersected(shot.rect());
            int ink = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    ink += qGray(shot.pixel(x, y)) < 200 ? 1 : 0;
                }
            }
            return ink;
        };
        QTRY_VERIFY_WITH_TIMEOUT(inkOnPage(1) > 30, 10000);
    }
};

QTEST_MAIN(BackgroundModesTest)
#include "tst_backgroundmodes.moc"
