#include "firstpagewatch.h"

#include "processclock.h"

#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>

#include <QEvent>
#include <QTimer>

namespace Nod::Presentation {

namespace {
bool g_lineWritten = false;
} // namespace

FirstPageWatch::FirstPageWatch(DocumentWidget *tab, QObject *parent)
    : QObject(parent)
    , m_tab(tab)
{
    if (!tab) {
        QTimer::singleShot(0, this, [this] { finish(false); });
        return;
    }
    m_viewport = tab->readingView()->viewport();
    m_viewport->installEventFilter(this);
    connect(tab, &QObject::destroyed, this, [this] { finish(false); });
    connect(tab, &DocumentWidget::openFailed, this, [this] { finish(false); });
}

bool FirstPageWatch::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees the paint before it happens: look once it is done and on screen.
    if (watched == m_viewport && event->type() == QEvent::Paint && !m_checkQueued && !m_done) {
        m_checkQueued = true;
        QTimer::singleShot(0, this, &FirstPageWatch::check);
    }
    return QObject::eventFilter(watched, event);
}

void FirstPageWatch::check()
{
    m_checkQueued = false;
    if (m_done || !m_tab) {
        return;
    }
    const QSharedPointer<PDFDocumentScene> scene = m_tab->readingView()->pdfScene();
    const int pageIndex = pageInView();
    ReadingPageItem *page = scene ? scene->readingPageAt(pageIndex) : nullptr;
    if (!page || !page->isSharp()) {
        return;
    }
    if (AnnotationIndex *annotations = scene->annotations();
        annotations && !annotations->isPopulated(pageIndex)) {
        // The marks and notes are made just after the page's first paint; a page that has none was
        // painted whole already.
        connect(page, &Base::Page::requestPopulateChildren, this, &FirstPageWatch::checkUnmarked,
            Qt::UniqueConnection);
        return;
    }
    finish(true);
}

void FirstPageWatch::checkUnmarked()
{
    if (m_done || !m_tab) {
        return;
    }
    const QSharedPointer<PDFDocumentScene> scene = m_tab->readingView()->pdfScene();
    const int pageIndex = pageInView();
    AnnotationIndex *annotations = scene ? scene->annotations() : nullptr;
    if (annotations && annotations->isPopulated(pageIndex) && annotations->shownCountOn(pageIndex) == 0) {
        check();
    }
}

int FirstPageWatch::pageInView() const { return qMax(0, m_tab->readingView()->currentPage()); }

void FirstPageWatch::finish(bool shown)
{
    if (m_done) {
        return;
    }
    m_done = true;
    if (m_viewport) {
        m_viewport->removeEventFilter(this);
    }
    if (shown && !g_lineWritten) {
        g_lineWritten = true;
        qInfo("first page shown: %lld ms", static_cast<long long>(App::msSinceProcessStart()));
    }
    if (shown) {
        emit this->shown();
    } else {
        emit abandoned();
    }
}

} // namespace Nod::Presentation
