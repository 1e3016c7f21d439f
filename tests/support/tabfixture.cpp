#include "tabfixture.h"

#include <application/documentservice.h>

#include <QPainter>
#include <QPdfWriter>

std::unique_ptr<Nod::Presentation::DocumentWidget> openDocumentTab(
    const ServiceFixture &fixture, int documentId, QSize size, TabWait wait)
{
    auto tab = std::make_unique<Nod::Presentation::DocumentWidget>();
    tab->resize(size);
    tab->show();
    const bool shown = wait == TabWait::Active ? QTest::qWaitForWindowActive(tab.get())
                                               : QTest::qWaitForWindowExposed(tab.get());
    if (!shown || !tab->openDocument(fixture.registry()->documentService()->document(documentId))) {
        return nullptr;
    }
    return tab;
}

bool writeNumberedPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.drawText(QPointF(72, 100), QStringLiteral("Page %1").arg(i + 1));
    }
    return painter.end();
}
