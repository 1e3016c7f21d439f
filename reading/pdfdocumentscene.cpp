#include "pdfdocumentscene.h"

#include "annotationindex.h"

#include <reading/backgroundmodeholder.h>
#include <reading/pdflinkgraphicsitem.h>
#include <reading/readingpageitem.h>

#include <backend/document.h>
#include <backend/page.h>
#include <backend/pdfaction.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

PDFDocumentScene::PDFDocumentScene(const QSharedPointer<Backend::Document> &document, int documentId,
    QUndoStack *undoStack, double resolutionX, double resolutionY, QObject *parent)
    : PagedScene(parent)
    , m_document(document)
    , m_watcher(new QFileSystemWatcher(this))
{
    setDocumentId(documentId);
    setUndoStack(undoStack);
    setResolution(resolutionX, resolutionY);
    // Pages come and go wholesale; a BSP index would be rebuilt for nothing.
    connect(&m_pageLayout, &PageLayout::layoutChanged, this,
        static_cast<void (PDFDocumentScene::*)(const QRectF &)>(&PDFDocumentScene::pageLayoutChanged));

    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(500);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] {
        if (m_reloadSuspended) {
            m_reloadPending = true;
            return;
        }
        reloadDocument();
    });
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &PDFDocumentScene::on_watcher_fileChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        // A file saved by rename (or deleted and written anew) drops out of the watch list.
        if (m_document && !m_watcher->files().contains(m_document->fileName())
            && QFileInfo::exists(m_document->fileName())) {
            on_watcher_fileChanged(m_document->fileName());
        }
    });
    connect(BackgroundModeHolder::instance(), &BackgroundModeHolder::modeChanged, this, [this] {
        for (Base::Page *page : qAsConst(m_pages)) {
            if (auto *reading = qgraphicsitem_cast<ReadingPageItem *>(page)) {
                reading->backgroundModeChanged();
            }
        }
        // Marks and the line being drawn switch their composition with the mode.
        update();
    });
    watchFile();
    reinitializeScene();
    m_annotations = new AnnotationIndex(this);
}

PDFDocumentScene::~PDFDocumentScene()
{
    // Page items cancel their renders as they go; the unlock panel goes with its proxy.
    clear();
}

void PDFDocumentScene::watchFile()
{
    if (!m_document) {
        return;
    }
    const QString fileName = m_document->fileName();
    if (!m_watcher->files().contains(fileName) && QFileInfo::exists(fileName)) {
        m_watcher->addPath(fileName);
    }
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!m_watcher->directories().contains(folder) && QFileInfo(folder).isDir()) {
        m_watcher->addPath(folder);
    }
}

void PDFDocumentScene::on_watcher_fileChanged(const QString &path)
{
    if (!m_document || path != m_document->fileName()) {
        return;
    }
    watchFile();
    m_reloadTimer.start();
}

void PDFDocumentScene::setReloadSuspended(bool suspended)
{
    m_reloadSuspended = suspended;
    if (!suspended && m_reloadPending) {
        m_reloadPending = false;
        m_reloadTimer.start();
    }
}

ReadingPageItem *PDFDocumentScene::readingPageAt(int index) const
{
    return static_cast<ReadingPageItem *>(pageAt(index));
}

bool PDFDocumentScene::isLocked() const { return m_document && m_document->isLocked(); }

void PDFDocumentScene::showOnePage(int index)
{
    if (index < 0 || index >= m_pages.size()) {
        return;
    }
    if (m_visiblePage == -2) {
        for (Base::Page *page : qAsConst(m_pages)) {
            page->setVisible(false);
        }
    } else if (Base::Page *old = pageAt(m_visiblePage)) {
        old->setVisible(false);
    }
    m_pages.at(index)->setVisible(true);
    m_visiblePage = index;
}

void PDFDocumentScene::showAllPages()
{
    if (m_visiblePage == -2) {
        return;
    }
    for (Base::Page *page : qAsConst(m_pages)) {
        page->setVisible(true);
    }
    m_visiblePage = -2;
}

void PDFDocumentScene::setNoteAreaMode(int mode)
{
    m_noteAreaMode = mode;
    for (Base::Page *page : qAsConst(m_pages)) {
        page->setNoteAreaMode(mode);
    }
    m_annotations->updateNoteAreas();
    m_pageLayout.relayout();
}

bool PDFDocumentScene::event(QEvent *event)
{
    if (event->type() == PDFActionEvent::eventType()) {
        const PDFAction *action = static_cast<PDFActionEvent *>(event)->action();
        event->accept();
        if (action && (action->type() == 0 || action->type() == 2 || action->type() == 4)) {
            emit pdfActionTriggered(action);
        }
        return true;
    }
    return PagedScene::event(event);
}

void PDFDocumentScene::createUnlockPanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("unlockPanel"));
    auto *layout = new QVBoxLayout(panel);
    auto *icon = new QLabel(panel);
    icon->setPixmap(QPixmap(QStringLiteral(":/QtPDF/icons/lock.png")));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    m_unlockLabel = new QLabel(panel);
    m_unlockLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_unlockLabel);
    layout->addSpacing(20);
    m_unlockButton = new QPushButton(panel);
    m_unlockButton->setObjectName(QStringLiteral("unlockButton"));
    layout->addWidget(m_unlockButton, 0, Qt::AlignCenter);
    layout->setAlignment(Qt::AlignCenter);
    connect(m_unlockButton, &QPushButton::clicked, this, &PDFDocumentScene::doUnlockDialog);
    m_unlockWidget = panel;
    retranslateUi();
    QGraphicsProxyWidget *proxy = addWidget(panel);
    setSceneRect(proxy->boundingRect());
}

void PDFDocumentScene::retranslateUi()
{
    if (m_unlockWidget) {
        m_unlockLabel->setText(tr("This document is locked. You need a password to open it."));
        m_unlockButton->setText(tr("Unlock"));
    }
    for (Base::Page *page : qAsConst(m_pages)) {
        auto *item = static_cast<ReadingPageItem *>(page);
        if (item->linksRequested()) {
            item->retranslateUi();
        }
    }
}

void PDFDocumentScene::doUnlockDialog()
{
    if (!m_document) {
        return;
    }
    QWidget *parentWidget = views().isEmpty() ? nullptr : views().first();
    bool ok = false;
    const QString password = QInputDialog::getText(parentWidget, tr("Unlock PDF"),
        tr("Please enter the password to unlock the PDF"), QLineEdit::Password, QString(), &ok);
    if (!ok) {
        return;
    }
    if (m_document->unlock(password)) {
        // A reload under way read the file with the old password.
        m_reloadAgain = m_reloading;
        QTimer::singleShot(1, this, &PDFDocumentScene::finishUnlock);
    } else {
        QMessageBox::information(
            parentWidget, tr("Incorrect password"), tr("The password you entered was incorrect."));
    }
}

void PDFDocumentScene::finishUnlock()
{
    reinitializeScene();
    emit documentChanged(m_document.data());
}

bool PDFDocumentScene::reloadDocument()
{
    if (!m_document) {
        return false;
    }
    if (!QFileInfo::exists(m_document->fileName())) {
        emit reloadFailed(m_document->fileName());
        return false;
    }
    if (m_reloading) {
        m_reloadAgain = true;
        return true;
    }
    if (!m_reloader) {
        m_reloader = new Backend::DocumentLoader(this);
        connect(
            m_reloader, &Backend::DocumentLoader::finished, this, &PDFDocumentScene::on_reloader_finished);
    }
    m_reloading = true;
    m_reloadAgain = false;
    m_reloader->startReopening(*m_document);
    emit reloadingChanged(true);
    return true;
}

void PDFDocumentScene::on_reloader_finished(const Backend::DocumentLoader::Result &result)
{
    m_reloading = false;
    if (m_reloadAgain && reloadDocument()) {
        return;
    }
    emit reloadingChanged(false);
    if (m_reloadSuspended) {
        // The pages are being printed; the file is read again when printing ends.
        m_reloadPending = true;
        return;
    }
    // A half-written or broken file leaves the pages shown as they were.
    if (!result.document) {
        qWarning("reload failed, keeping the pages shown: %s", qUtf8Printable(m_document->fileName()));
        emit reloadFailed(m_document->fileName());
        return;
    }
    qInfo("reload read the file off the interface thread: %s %lld ms", qUtf8Printable(m_document->fileName()),
        static_cast<long long>(m_reloader->elapsed()));
    emit aboutToBeRebuilt();
    clearItems();
    if (!m_document->adopt(*result.document)) {
        qWarning("reload could not take the file read: %s", qUtf8Printable(m_document->fileName()));
    }
    buildPages();
    emit documentChanged(m_document.data());
}

void PDFDocumentScene::reinitializeScene()
{
    emit aboutToBeRebuilt();
    clearItems();
    buildPages();
}

void PDFDocumentScene::clearItems()
{
    clear();
    m_pages.clear();
    m_pageLayout.clearPages();
    m_unlockWidget.clear();
    m_unlockLabel = nullptr;
    m_unlockButton = nullptr;
}

void PDFDocumentScene::buildPages()
{
    if (!m_document || !m_document->isValid()) {
        setSceneRect(QRectF());
        emit rebuilt();
        return;
    }
    if (m_document->isLocked()) {
        createUnlockPanel();
        emit rebuilt();
        return;
    }
    const int count = std::max(0, m_document->pageCount());
    if (m_visiblePage >= count) {
        m_visiblePage = count - 1;
    }
    QElapsedTimer timer;
    timer.start();
    m_pages.reserve(count);
    // Pages are loaded when they are first painted.
    const QVector<QSizeF> sizes = Reading::pagePlaceholderSizes(*m_document);
    for (int i = 0; i < count; ++i) {
        auto *item = new ReadingPageItem(m_document, i, m_dpiX, m_dpiY, sizes.at(i));
        // A reload keeps the note area the user chose.
        item->setNoteAreaMode(m_noteAreaMode);
        item->setVisible(m_visiblePage == -2 || m_visiblePage == i);
        m_pages.append(item);
        addItem(item);
        m_pageLayout.addPage(item);
    }
    qInfo("initialize reading for: %s %lld ms", qUtf8Printable(m_document->fileName()),
        static_cast<long long>(timer.elapsed()));
    m_pageLayout.relayout();
    emit rebuilt();
}

void PDFDocumentScene::pageLayoutChanged(const QRectF &sceneRect)
{
    setSceneRect(sceneRect);
    emit pageLayoutChanged();
}

QVector<QSizeF> Reading::pagePlaceholderSizes(Backend::Document &document)
{
    const int count = std::max(0, document.pageCount());
    const QVector<QSizeF> read = document.pageSizes();
    QVector<QSizeF> sizes;
    sizes.reserve(count);
    QSizeF lastSize(612, 792);
    for (int i = 0; i < count; ++i) {
        if (i < read.size() && !read.at(i).isEmpty()) {
            lastSize = read.at(i);
        }
        sizes.append(lastSize);
    }
    return sizes;
}
