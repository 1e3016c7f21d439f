#include <backend/mupdf/document.h>
#include <backend/page.h>
#include <backend/pdfpageevents.h>
#include <backend/renderparam.h>
#include <backend/rendertask.h>

#include "testdocuments.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using Backend::MuPDF::Document;
namespace Picture = TestDocuments::PicturePage;

namespace {

constexpr double Dpi = 144;

RenderParam plainParam() { return RenderParam { int(Dpi), int(Dpi), 1.0, 1.0 }; }

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString describe(QRgb pixel) { return QString::number(pixel, 16); }

// Pixels of a render at Dpi for an area in points, shrunk by a margin so that edges do not count.
QRect pixelsOf(const QRectF &points, int margin = 3)
{
    const double scale = Dpi / 72.0;
    return QRectF(points.topLeft() * scale, points.size() * scale)
        .toRect()
        .adjusted(margin, margin, -margin, -margin);
}

class Answer final : public QObject
{
public:
    QImage image;
    bool answered = false;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != Backend::PDFPageRenderedEvent::eventType()) {
            return QObject::event(event);
        }
        image = static_cast<Backend::PDFPageRenderedEvent *>(event)->image();
        answered = true;
        return true;
    }
};

} // namespace

// Background modes treat the page but leave its pictures as the default mode shows them; a scan is
// a page, not a picture, and a page that cannot be made says why.
class TestBackgroundTreatment : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Document> m_document;

    QSharedPointer<Backend::Page> page(int index) const { return m_document->pageAt(index).toStrongRef(); }

    // Through the tile pipeline or the document's processing thread (the mind map's road).
    QImage render(
        int pageIndex, const RenderParam &param, bool throughProcessingThread, const QRect &tile = QRect())
    {
        const auto target = page(pageIndex);
        if (throughProcessingThread) {
            Answer answer;
            target->requestRender(&answer, param.renderXres(), param.renderYres(), tile, false, param);
            if (!QTest::qWaitFor([&] { return answer.answered; }, 20000)) {
                return {};
            }
            return answer.image;
        }
        RenderTask task(target);
        QSignalSpy ready(&task, &RenderTask::imageReady);
        task.start(param, tile, false);
        if (!QTest::qWaitFor([&] { return ready.count() == 1; }, 20000)) {
            return {};
        }
        task.wait();
        return ready[0][3].value<QImage>();
    }

    // The default render with the whole of it treated, as if the page had no pictures.
    QImage treatedWhole(int pageIndex, const RenderParam &param) const
    {
        QImage image = RenderTask::renderTile(*page(pageIndex), plainParam(), QRect());
        param.applyColorTreatment(image, [] { return false; });
        return image.convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("pictures.pdf"));
        QVERIFY(TestDocuments::writePicturePdf(path));
        m_document = std::make_unique<Document>(path);
        QCOMPARE(m_document->pageCount(), 2);
    }

    void pictureAreas_areFoundFromThePageAndCutByTheirClip()
    {
        const QVector<QRectF> areas = page(0)->pictureAreas();
        QCOMPARE(areas.size(), 2);
        const auto close = [](const QRectF &a, const QRectF &b) {
            return std::abs(a.left() - b.left()) < 1 && std::abs(a.top() - b.top()) < 1
                && std::abs(a.right() - b.right()) < 1 && std::abs(a.bottom() - b.bottom()) < 1;
        };
        QVERIFY(close(areas[0], Picture::Picture));
        QVERIFY(close(areas[1], Picture::Clip));
        // One picture over the whole page: a scan.
        QVERIFY(page(1)->pictureAreas().isEmpty());
        // A text page has none.
        const QString textPath = m_dir.filePath(QStringLiteral("text.pdf"));
        QVERIFY(TestDocuments::writeNumberedPdf(textPath, 1));
        Document text(textPath);
        QVERIFY(text.pageAt(0).toStrongRef()->pictureAreas().isEmpty());
    }

    void modes_treatTextAndShapesButKeepPictures_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<bool>("throughProcessingThread");
        QTest::newRow("night") << int(RenderParam::Invert) << QColor(53, 62, 66) << false;
        QTest::newRow("eye tint") << int(RenderParam::Multiply) << QColor(210, 227, 199) << false;
        QTest::newRow("grey night") << int(RenderParam::Invert | RenderParam::Grey) << QColor(53, 62, 66)
                                    << false;
        QTest::newRow("night, mind-map excerpt road")
            << int(RenderParam::Invert) << QColor(53, 62, 66) << true;
    }

    void modes_treatTextAndShapesButKeepPictures()
    {
        QFETCH(int, flags);
        QFETCH(QColor, color);
        QFETCH(bool, throughProcessingThread);
        RenderParam param { int(Dpi), int(Dpi), 1.0, 1.0, flags, color };
        param.setKeepPictures(true);

        const QImage plain = RenderTask::renderTile(*page(0), plainParam(), QRect());
        const QImage everything = treatedWhole(0, param);
        const QImage kept = render(0, param, throughProcessingThread);
        QCOMPARE(kept.size(), plain.size());
        // Pictures keep the default pixels, the clipped one inside its clip only.
        for (const QRect &area : { pixelsOf(Picture::Picture), pixelsOf(Picture::Clip) }) {
            for (int y = area.top(); y <= area.bottom(); y += 3) {
                for (int x = area.left(); x <= area.right(); x += 3) {
                    QVERIFY2(near(kept.pixel(x, y), plain.pixel(x, y), 2),
                        qPrintable(QStringLiteral("%1,%2: %3 vs %4")
                                       .arg(x)
                                       .arg(y)
                                       .arg(describe(kept.pixel(x, y)), describe(plain.pixel(x, y)))));
                }
            }
        }
        // What the clip hides of the second picture is page background, treated.
        const QPoint hidden = pixelsOf(Picture::ClippedPicture).bottomRight();
        QCOMPARE(describe(plain.pixel(hidden)), describe(qRgb(255, 255, 255)));
        QCOMPARE(describe(kept.pixel(hidden)), describe(everything.pixel(hidden)));
        // The vector rectangle, the background and the text are treated.
        const QPoint box = pixelsOf(Picture::VectorBox).center();
        QCOMPARE(describe(kept.pixel(box)), describe(everything.pixel(box)));
        QVERIFY(!near(kept.pixel(box), plain.pixel(box), 10));
        QCOMPARE(describe(kept.pixel(5, 5)), describe(everything.pixel(5, 5)));
        QVERIFY(!near(kept.pixel(5, 5), qRgb(255, 255, 255), 10));
        const QRect line = pixelsOf(QRectF(Picture::Text - QPointF(0, 24), QSizeF(200, 30)), 0);
        int inked = 0;
        for (int y = line.top(); y <= line.bottom(); ++y) {
            for (int x = line.left(); x <= line.right(); ++x) {
                if (qGray(plain.pixel(x, y)) < 60) {
                    ++inked;
                    QCOMPARE(describe(kept.pixel(x, y)), describe(everything.pixel(x, y)));
                }
            }
        }
        QVERIFY(inked > 50);

        // A scan reads as the rest of the page does.
        const QImage scan = render(1, param, throughProcessingThread).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(scan, treatedWhole(1, param));

        // With pictures not kept, the whole page is treated as before.
        param.setKeepPictures(false);
        QCOMPARE(render(0, param, throughProcessingThread).convertToFormat(QImage::Format_RGB32), everything);
    }

    void tiles_keepThePartOfAPictureTheyHold()
    {
        // A tile starting inside the picture finds its kept pixels at the tile's own origin.
        RenderParam param { int(Dpi), int(Dpi), 1.0, 1.0, RenderParam::Invert, QColor(53, 62, 66) };
        param.setKeepPictures(true);
        const QRect picture = pixelsOf(Picture::Picture, 0);
        const QRect tile(picture.center(), QSize(200, 200));
        const QImage kept = render(0, param, false, tile);
        const QImage plain = RenderTask::renderTile(*page(0), plainParam(), tile);
        QCOMPARE(kept.size(), plain.size());
        const QPoint inside(10, 10);
        const QPoint outside(picture.right() - tile.left() + 10, 10);
        QVERIFY(near(kept.pixel(inside), plain.pixel(inside), 2));
        QVERIFY(!near(kept.pixel(outside), plain.pixel(outside), 10));
    }

    void unloadablePage_isNotMadeAndTheDocumentSaysWhy()
    {
        const QString path = m_dir.filePath(QStringLiteral("damaged.pdf"));
        QVERIFY(TestDocuments::writeDamagedPdf(path));
        Document damaged(path);
        QCOMPARE(damaged.pageCount(), 2);
        const auto good = damaged.pageAt(0).toStrongRef();
        QVERIFY(good && !good->renderImage(72, 72).isNull());
        QVERIFY(good->failureReason().isEmpty());
        // The page tree does not hold the second page: no page is made, and the document says why.
        QVERIFY(!damaged.pageAt(1));
        QVERIFY2(damaged.pageFailure(1).contains(QStringLiteral("page")), qPrintable(damaged.pageFailure(1)));
        QVERIFY(damaged.pageFailure(0).isEmpty());
    }
};

QTEST_MAIN(TestBackgroundTreatment)
#include "tst_backgroundtreatment.moc"
