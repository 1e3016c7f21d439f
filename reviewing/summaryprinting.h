#pragma once

#include <QList>
#include <QVector>

class QPrinter;
class QWidget;

namespace Reviewing {

class Scene;

// One sheet of paper: a run of consecutive rows, printed at `scale` times the width-filling size
// (below 1 only for a single row taller than a sheet).
struct Sheet
{
    int firstRow = 0;
    int rowCount = 0;
    double scale = 1.0;

    bool operator==(const Sheet &other) const
    {
        return firstRow == other.firstRow && rowCount == other.rowCount && scale == other.scale;
    }
};

// Puts rows of the given heights on sheets of the given height, in order, never splitting a row:
// a row that does not fit below the rows before it starts a new sheet, and a row taller than a
// whole sheet gets one of its own, scaled down to fit. Every row lands on exactly one sheet.
QVector<Sheet> paginate(const QVector<double> &rowHeights, double sheetHeight);

struct PrintReport
{
    bool started = false; // the printer could be painted on
    bool cancelled = false;
    int sheetCount = 0;
    QList<int> printedSheets; // numbers from 1, in print order
};

// Prints the rows of the summary across the paper's width, the sheets of the printer's range (all
// without one), each with the page footer, with progress and Cancel.
PrintReport printSummaries(Scene *scene, QPrinter *printer, QWidget *parentWidget);

} // namespace Reviewing
