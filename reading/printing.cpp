#include "printing.h"

#include <reading/pdfdocumentscene.h>
#include <reading/readingpageitem.h>

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDebug>
#include <QGraphicsItem>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <QStyleOptionGraphicsItem>
#include <QTextDocument>

#include <algorithm>

namespace Reading {

namespace {

const char kProductSite[] = "https://nodera.example.org/";

// Reloads resume, with any change seen meanwhile, however the print loop ends.
class ReloadSuspension
{
public:
    explicit ReloadSuspension(PDFDocumentScene *scene)
        : m_scene(scene)
        , m_wasSuspended(scene->isReloadSuspended())
    {
        scene->setReloadSuspended(true);
    }
    ~ReloadSuspension()
    {
        if (m_scene) {
            m_scene->setReloadSuspended(m_wasSuspended);
        }
    }
    Q_DISABLE_COPY_MOVE(ReloadSuspension)

private:
    QPointer<PDFDocumentScene> m_scene;
    bool m_wasSuspended;
};

bool isMark(const QGraphicsItem *item)
{
    return qobject_cast<const Nod::Presentation::MarkerItem *>(item->toGraphicsObject()) != nullptr;
}

// Marks and notes over the page, in stacking order, each with its own transform. What only serves
// the screen stays off the paper: link areas, search hits, the text selection, a selected mark's
// grips, the render tiles.
void paintChildren(QPainter *painter, const QGraphicsItem *parent, bool insideNote = false)
{
    QList<QGraphicsItem *> children = parent->childItems();
    std::stable_sort(children.begin(), children.end(),
        [](const QGraphicsItem *a, const QGraphicsItem *b) { return a->zValue() < b->zValue(); });
    for (QGraphicsItem *child : qAsConst(children)) {
        const bool note = child->type() == Nod::Presentation::NoteItem::Type;
        if (!child->isVisible() || !(insideNote || note || isMark(child))) {
            continue;
        }
        painter->save();
        painter->setTransform(child->itemTransform(parent), true);
        QStyleOptionGraphicsItem option;
        option.exposedRect = child->boundingRect();
        child->paint(painter, &option, nullptr);
        paintChildren(painter, child, insideNote || note);
        painter->restore();
    }
}

QTextDocument *footerDocument(QPainter *painter, const QRectF &printable, QObject *parent)
{
    auto *document = new QTextDocument(parent);
    document->documentLayout()->setPaintDevice(painter->device());
    document->setDefaultFont(painter->font());
    document->setDocumentMargin(0);
    document->setTextWidth(printable.width());
    document->setHtml(QStringLiteral("<p align=\"center\">%1</p>")
                          .arg(QCoreApplication::translate("Reading::Printing",
                              "Printed with <a href=\"%1\"><b>Nodera Reader</b></a>, a reading notes tool")
                                   .arg(QString::fromLatin1(kProductSite))));
    return document;
}

} // namespace

double pageFooterHeight(QPainter *painter)
{
    return 2 * QFontMetricsF(painter->font(), painter->device()).height();
}

double drawPageFooter(QPainter *painter, const QRectF &printable, int pageNumber)
{
    const double height = pageFooterHeight(painter);
    const QRectF line(printable.left(), printable.bottom() - height, printable.width(), height / 2);
    painter->save();
    QObject owner;
    QTextDocument *credit = footerDocument(painter, printable, &owner);
    painter->translate(line.topLeft());
    credit->drawContents(painter);
    painter->restore();
    painter->save();
    painter->setPen(Qt::black);
    painter->drawText(line, Qt::AlignRight | Qt::AlignTop, QString::number(pageNumber));
    painter->restore();
    return height;
}

bool beginPrinting(QPainter *painter, QPrinter *printer, const QFont &font, QRectF *printable)
{
    if (!painter->begin(printer)) {
        return false;
    }
    painter->setFont(font);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    *printable = QRectF(QPointF(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    return true;
}

bool finishSheet(QProgressDialog *progress, QPrinter *printer, int done, const QString &label, bool more)
{
    progress->setValue(done);
    progress->setLabelText(label);
    // Events first, so that a Cancel pressed during this sheet stops the job before the next.
    QCoreApplication::processEvents();
    if (progress->wasCanceled()) {
        printer->abort();
        return false;
    }
    if (more) {
        printer->newPage();
    }
    return true;
}

PrintReport printScene(PDFDocumentScene *scene, QPrinter *printer, QWidget *parentWidget)
{
    PrintReport report;
    const int count = scene->pageCount();
    qDebug() << "PDFDocumentScene::print" << printer->fromPage() << printer->toPage();
    const int first = qMax(0, printer->fromPage() - 1);
    const int end = printer->toPage() > 0 && printer->toPage() < count ? printer->toPage() : count;
    if (first >= end) {
        report.started = true;
        return report;
    }

    const ReloadSuspension suspension(scene);
    const QPointer<PDFDocumentScene> guard(scene);
    QPainter painter;
    QRectF printable;
    if (!beginPrinting(&painter, printer, scene->font(), &printable)) {
        return report;
    }
    report.started = true;

    QProgressDialog progress(QCoreApplication::translate("Reading::Printing", "Printing ..."),
        QCoreApplication::translate("Reading::Printing", "Cancel"), 0, end - first, parentWidget);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);

    const double footer = pageFooterHeight(&painter);
    const QRectF pageArea(printable.topLeft(), QSizeF(printable.width(), printable.height() - footer));

    for (int i = first; i < end; ++i) {
        ReadingPageItem *item = guard ? guard->readingPageAt(i) : nullptr;
        if (!item) {
            // The document went away under the loop; what was sent stays sent.
            report.cancelled = true;
            printer->abort();
            return report;
        }
        emit item->requestPopulateChildren();
        // The page and its note area fill the paper's width or height, whichever is reached first,
        // so two-column layouts and foreign paper sizes print whole and at full size.
        const QRectF bounds = item->boundingRect();
        const double scale = std::min(pageArea.width() / bounds.width(), pageArea.height() / bounds.height());
        const QSizeF printed = bounds.size() * scale;
        painter.save();
        painter.translate(pageArea.left() + (pageArea.width() - printed.width()) / 2, pageArea.top());
        painter.scale(scale, scale);
        painter.translate(-bounds.topLeft());
        if (!item->paintForPrint(&painter)) {
            report.failedPages.append(i + 1);
        }
        paintChildren(&painter, item);
        painter.restore();
        drawPageFooter(&painter, printable, i + 1);
        report.printedPages.append(i + 1);

        const QString label
            = QCoreApplication::translate("Reading::Printing", "Printing page %1 / %2").arg(i + 1).arg(count);
        if (!finishSheet(&progress, printer, i + 1 - first, label, i + 1 < end)) {
            report.cancelled = true;
            return report;
        }
    }
    progress.setValue(end - first);
    painter.end();
    return report;
}

} // namespace Reading
