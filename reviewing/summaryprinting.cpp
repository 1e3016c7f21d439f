#include "summaryprinting.h"

#include "scene.h"
#include "summary.h"

#include <reading/printing.h>

#include <annotating/gripkit.h>

#include <QCoreApplication>
#include <QGraphicsItem>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <QStyleOptionGraphicsItem>

#include <algorithm>

namespace Reviewing {

namespace {

// An item and its visible children, in stacking order, each with its own transform. Grips of a
// selected mark belong to the screen only.
void paintTree(QPainter *painter, QGraphicsItem *item)
{
    QStyleOptionGraphicsItem option;
    option.exposedRect = item->boundingRect();
    item->paint(painter, &option, nullptr);
    QList<QGraphicsItem *> children = item->childItems();
    std::stable_sort(children.begin(), children.end(),
        [](const QGraphicsItem *a, const QGraphicsItem *b) { return a->zValue() < b->zValue(); });
    for (QGraphicsItem *child : qAsConst(children)) {
        if (!child->isVisible() || qobject_cast<Nod::Presentation::Gripkit *>(child->toGraphicsObject())) {
            continue;
        }
        painter->save();
        painter->setTransform(child->itemTransform(item), true);
        paintTree(painter, child);
        painter->restore();
    }
}

} // namespace

QVector<Sheet> paginate(const QVector<double> &rowHeights, double sheetHeight)
{
    QVector<Sheet> sheets;
    if (!(sheetHeight > 0)) {
        return sheets;
    }
    // Rounding in the heights must not push a row that fits onto the next sheet.
    const double limit = sheetHeight * (1 + 1e-9);
    Sheet current;
    double used = 0;
    for (int i = 0; i < rowHeights.size(); ++i) {
        const double height = std::max(0.0, rowHeights.at(i));
        if (height > limit) {
            if (current.rowCount > 0) {
                sheets.append(current);
            }
            sheets.append(Sheet { i, 1, sheetHeight / height });
            current = Sheet { i + 1, 0, 1.0 };
            used = 0;
            continue;
        }
        if (current.rowCount > 0 && used + height > limit) {
            sheets.append(current);
            current = Sheet { i, 0, 1.0 };
            used = 0;
        }
        ++current.rowCount;
        used += height;
    }
    if (current.rowCount > 0) {
        sheets.append(current);
    }
    return sheets;
}

PrintReport printSummaries(Scene *scene, QPrinter *printer, QWidget *parentWidget)
{
    PrintReport report;
    const QPointer<Scene> guard(scene);
    QList<QPointer<Summary>> rows;
    const QList<Summary *> all = scene->summaries();
    for (Summary *row : all) {
        rows.append(row);
    }
    const double sceneWidth = scene->sceneRect().width();
    QPainter painter;
    QRectF printable;
    if (!Reading::beginPrinting(&painter, printer, scene->font(), &printable)) {
        return report;
    }
    report.started = true;

    const double footer = Reading::pageFooterHeight(&painter);
    const double scale = sceneWidth > 0 ? printable.width() / sceneWidth : 1.0;
    QVector<double> heights;
    heights.reserve(rows.size());
    for (const QPointer<Summary> &row : qAsConst(rows)) {
        heights.append(row->height());
    }
    const QVector<Sheet> sheets = paginate(heights, (printable.height() - footer) / scale);
    report.sheetCount = sheets.size();
    const int count = sheets.size();
    const int first = qMax(0, printer->fromPage() - 1);
    const int end = printer->toPage() > 0 && printer->toPage() < count ? printer->toPage() : count;

    QProgressDialog progress(QCoreApplication::translate("Reviewing::Printing", "Printing ..."),
        QCoreApplication::translate("Reviewing::Printing", "Cancel"), 0, std::max(0, end - first),
        parentWidget);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);

    for (int i = first; i < end; ++i) {
        if (!guard) {
            // The tab went away under the loop; what was sent stays sent.
            report.cancelled = true;
            printer->abort();
            return report;
        }
        const Sheet &sheet = sheets.at(i);
        const double factor = scale * sheet.scale;
        double y = 0;
        for (int r = sheet.firstRow; r < sheet.firstRow + sheet.rowCount; ++r) {
            const QPointer<Summary> row = rows.at(r);
            if (!row) {
                // Removed while an earlier sheet was printed; its place stays empty.
                y += heights.at(r);
                continue;
            }
            painter.save();
            painter.translate(
                printable.left() + (printable.width() - sceneWidth * factor) / 2, printable.top());
            painter.scale(factor, factor);
            painter.translate(0, y - row->sceneBoundingRect().top());
            painter.setTransform(row->sceneTransform(), true);
            paintTree(&painter, row);
            painter.restore();
            y += heights.at(r);
        }
        Reading::drawPageFooter(&painter, printable, i + 1);
        report.printedSheets.append(i + 1);

        const QString label = QCoreApplication::translate("Reviewing::Printing", "Printing page %1 / %2")
                                  .arg(i + 1)
                                  .arg(count);
        if (!Reading::finishSheet(&progress, printer, i + 1 - first, label, i + 1 < end)) {
            report.cancelled = true;
            return report;
        }
    }
    progress.setValue(std::max(0, end - first));
    painter.end();
    return report;
}

} // namespace Reviewing
