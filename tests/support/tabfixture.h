#pragma once

#include "support/servicefixture.h"

#include <reading/tab/documentwidget.h>

#include <QSize>

#include <memory>

enum class TabWait {
    Exposed, // the tab is on the screen
    Active, // and has the keyboard, for tests that type
};

// Shows a document tab of `size` over the fixture's (installed) database, waits for it and opens the
// document in it, as the main window does; null when any of that fails.
std::unique_ptr<Nod::Presentation::DocumentWidget> openDocumentTab(
    const ServiceFixture &fixture, int documentId, QSize size, TabWait wait = TabWait::Exposed);

// A PDF of letter pages at 72 dpi without margins; page i says "Page <i+1>" at (72, 100).
bool writeNumberedPdf(const QString &path, int pages);
