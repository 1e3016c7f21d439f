// The document tab's tool bar: its actions, their keys and colours, and the menus it carries.
#include "documentwidget.h"

#include "annotationtoolaction.h"

#include <annotating/exchange/documentexchange.h>
#include <app/storage/settings.h>
#include <reading/baseview.h>
#include <reading/lazyicon.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/searchline.h>
#include <reading/tools/select.h>
#include <reviewing/scene.h>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

namespace Nod::Presentation {

namespace {
// The hand tool of the reading view.
constexpr int kMoveTool = 5;
} // namespace

QAction *DocumentWidget::addToolAction(
    const QString &objectName, const QString &iconPath, const QString &text, const QKeySequence &shortcut)
{
    auto *action = new QAction(lazyIcon(iconPath), text, this);
    action->setObjectName(objectName);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText)));
    }
    // Every open document has these actions; only the tab holding the focus answers their keys.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    m_toolBar->addAction(action);
    return action;
}

void DocumentWidget::createToolBar()
{
    QAction *addFiles = addToolAction(QStringLiteral("addFiles"), QStringLiteral(":icons/folder-open-o.svg"),
        tr("Add Files"), QKeySequence(Qt::CTRL + Qt::Key_O));
    connect(addFiles, &QAction::triggered, this, &DocumentWidget::openRequested);
    QAction *reload
        = addToolAction(QStringLiteral("openFile"), QStringLiteral(":icons/refresh-cw.svg"), tr("Open File"));
    reload->setToolTip(tr("Open the file again from disk"));
    connect(reload, &QAction::triggered, this, [this] {
        if (m_readingScene) {
            commitNotes();
            m_readingScene->reloadDocument();
        }
    });
    m_toolBar->addSeparator();

    QAction *previous = addToolAction(QStringLiteral("previousPage"),
        QStringLiteral(":icons/chevron-left.svg"), tr("Previous Page"), QKeySequence(Qt::Key_Left));
    connect(previous, &QAction::triggered, m_readingView, &PDFDocumentView::goPrev);
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("pageBox"));
    m_pageBox->setAlignment(Qt::AlignCenter);
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_pageBox->setRange(1, 1);
    m_pageBox->setSuffix(QStringLiteral(" / 1"));
    m_pageBox->setFixedWidth(m_pageBox->fontMetrics().horizontalAdvance(QStringLiteral("9999 / 9999")) + 16);
    connect(m_pageBox, &QSpinBox::editingFinished, this, &DocumentWidget::on_pageBox_editingFinished);
    QAction *pageBoxAction = m_toolBar->addWidget(m_pageBox);
    QAction *next = addToolAction(QStringLiteral("nextPage"), QStringLiteral(":icons/chevron-right.svg"),
        tr("Next page"), QKeySequence(Qt::Key_Right));
    connect(next, &QAction::triggered, m_readingView, &PDFDocumentView::goNext);
    QAction *zoomIn = addToolAction(QStringLiteral("zoomIn"), QStringLiteral(":icons/zoom-in.svg"),
        tr("Zoom In"), QKeySequence(Qt::CTRL + Qt::Key_Equal));
    connect(zoomIn, &QAction::triggered, m_readingView, qOverload<>(&PDFDocumentView::zoomIn));
    QAction *zoomOut = addToolAction(QStringLiteral("zoomOut"), QStringLiteral(":icons/zoom-out.svg"),
        tr("Zoom Out"), QKeySequence(Qt::CTRL + Qt::Key_Minus));
    connect(zoomOut, &QAction::triggered, m_readingView, qOverload<>(&PDFDocumentView::zoomOut));
    m_toolBar->addSeparator();

    m_toolGroup = new QActionGroup(this);
    m_toolGroup->setExclusive(true);
    QAction *hand = addToolAction(QStringLiteral("hand"), QStringLiteral(":icons/hand.png"),
        tr("Hand tool") + QStringLiteral(" (Esc)"));
    hand->setCheckable(true);
    hand->setChecked(true);
    hand->setData(kMoveTool);
    m_toolGroup->addAction(hand);
    QAction *selectText = addToolAction(
        QStringLiteral("selectText"), QStringLiteral(":icons/select-text.png"), tr("Select text"));
    selectText->setCheckable(true);
    selectText->setData(int(DocumentTool::AbstractTool::Select));
    m_toolGroup->addAction(selectText);
    m_toolShortcutNames.insert(selectText, QStringLiteral("selectText"));
    createAnnotationToolActions();
    connect(m_toolGroup, &QActionGroup::triggered, this, [this](QAction *action) {
        const int type = action->data().toInt();
        m_readingView->armTool(type);
        // Tools registered after the colour was picked learn it here.
        if (auto *annotationAction = qobject_cast<AnnotationToolAction *>(action)) {
            if (DocumentTool::AbstractTool *tool = m_readingView->tool(type)) {
                tool->setColor(annotationAction->color());
            }
        }
    });
    auto *escape
        = new QShortcut(QKeySequence(Qt::Key_Escape), m_readingView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, hand, &QAction::trigger);
    m_toolBar->addSeparator();

    QAction *undo = m_undoStack->createUndoAction(this, tr("Undo"));
    undo->setObjectName(QStringLiteral("undo"));
    undo->setIcon(lazyIcon(QStringLiteral(":icons/undo.png")));
    undo->setShortcuts(QKeySequence::Undo);
    undo->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    undo->setToolTip(tr("Press Ctrl+Y to Redo"));
    // The note being edited becomes a step of its own before any step is undone or redone.
    // (The stack connects its actions by name, so only the string form undoes that.)
    disconnect(undo, SIGNAL(triggered()), m_undoStack, SLOT(undo()));
    connect(undo, &QAction::triggered, this, [this] {
        commitNotes();
        m_undoStack->undo();
    });
    addAction(undo);
    m_toolBar->addAction(undo);
    QAction *redo = m_undoStack->createRedoAction(this, tr("Redo"));
    redo->setObjectName(QStringLiteral("redo"));
    disconnect(redo, SIGNAL(triggered()), m_undoStack, SLOT(redo()));
    connect(redo, &QAction::triggered, this, [this] {
        commitNotes();
        m_undoStack->redo();
    });
    // Ctrl+Shift+Z is the desktop's redo; Ctrl+Y is what the undo button's tip promises.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence &key :
        { QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), QKeySequence(Qt::CTRL + Qt::Key_Y) }) {
        if (!redoKeys.contains(key)) {
            redoKeys.append(key);
        }
    }
    redo->setShortcuts(redoKeys);
    redo->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(redo);

    m_viewGroup = new QActionGroup(this);
    auto *viewMenu = new QMenu(this);
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    addViewAction(viewMenu, QStringLiteral("readingViewAction"), QStringLiteral(":icons/book-open.svg"),
        tr("Reading View"), ReadingView, QKeySequence(Qt::CTRL + Qt::Key_Slash));
    addViewAction(viewMenu, QStringLiteral("summaryViewAction"), QStringLiteral(":icons/file-text.svg"),
        tr("Summary View"), SummaryView);
    addViewAction(viewMenu, QStringLiteral("mindmapAction"), QStringLiteral(":icons/mind_map_32px.png"),
        tr("Mindmap"), MindmapView);
    connect(m_viewGroup, &QActionGroup::triggered, this, [this](QAction *action) {
        commitNotes();
        m_stack->setCurrentIndex(action->data().toInt());
    });
    m_viewSwitch = new QToolButton(this);
    m_viewSwitch->setObjectName(QStringLiteral("viewSwitch"));
    m_viewSwitch->setPopupMode(QToolButton::InstantPopup);
    m_viewSwitch->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_viewSwitch->setMenu(viewMenu);
    m_toolBar->addWidget(m_viewSwitch);

    auto *noteAreaMenu = new QMenu(this);
    noteAreaMenu->setObjectName(QStringLiteral("noteAreaMenu"));
    m_noteAreaGroup = new QActionGroup(this);
    const std::pair<QString, int> modes[]
        = { { tr("Hide"), 0 }, { tr("Left side"), 2 }, { tr("Right side"), 1 }, { tr("Both sides"), 3 } };
    for (const auto &[text, mode] : modes) {
        QAction *action = noteAreaMenu->addAction(text);
        action->setData(mode);
        action->setCheckable(true);
        action->setChecked(mode == m_noteAreaMode);
        m_noteAreaGroup->addAction(action);
    }
    connect(m_noteAreaGroup, &QActionGroup::triggered, this, &DocumentWidget::on_noteArea_triggered);
    auto *noteArea = new QToolButton(this);
    noteArea->setObjectName(QStringLiteral("noteArea"));
    noteArea->setIcon(lazyIcon(QStringLiteral(":icons/notearea.svg")));
    noteArea->setText(tr("Note Area"));
    noteArea->setToolTip(tr("Note Area"));
    noteArea->setWhatsThis(tr("Set note area"));
    noteArea->setPopupMode(QToolButton::InstantPopup);
    noteArea->setMenu(noteAreaMenu);
    m_toolBar->addWidget(noteArea);

    QAction *search = addToolAction(
        QStringLiteral("search"), QStringLiteral(":icons/search.svg"), tr("Search"), QKeySequence::Find);
    connect(search, &QAction::triggered, this, [this] {
        if (auto *view = qobject_cast<Base::View *>(m_stack->currentWidget())) {
            view->searchLine()->activate();
        }
    });

    m_exchange = new Nod::Exchange::DocumentExchange(m_undoStack, this);
    m_exchange->setCommitNotes([this] { commitNotes(); });
    connect(m_exchange, &Nod::Exchange::DocumentExchange::pagesChanged, this, [this] {
        if (m_readingScene) {
            m_readingScene->update();
        }
        if (m_summaryScene) {
            m_summaryScene->update();
        }
    });
    auto *exchangeButton = new QToolButton(this);
    exchangeButton->setObjectName(QStringLiteral("exchange"));
    exchangeButton->setIcon(lazyIcon(QStringLiteral(":icons/file-text.svg")));
    exchangeButton->setToolTip(tr("Notes in and out"));
    exchangeButton->setPopupMode(QToolButton::InstantPopup);
    exchangeButton->setMenu(m_exchange->menu());
    m_toolBar->addWidget(exchangeButton);

    m_readingOnlyActions = { previous, pageBoxAction, next, zoomIn, zoomOut, hand, selectText };
    for (AnnotationToolAction *action : qAsConst(m_annotationActions)) {
        m_readingOnlyActions.append(action);
    }
    // The page actions answer only while the page or the tool bar has the focus, so that the
    // arrow keys keep their meaning in the outline and the page box.
    for (QAction *action : { previous, next }) {
        removeAction(action);
        m_readingView->addAction(action);
    }
}

void DocumentWidget::addViewAction(QMenu *menu, const QString &objectName, const QString &iconPath,
    const QString &text, int index, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(lazyIcon(iconPath), text);
    action->setObjectName(objectName);
    action->setData(index);
    action->setCheckable(true);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    m_viewGroup->addAction(action);
}

void DocumentWidget::createAnnotationToolActions()
{
    struct Spec
    {
        const char *name;
        const char *icon;
        QString text;
        QString whatsThis;
        int type;
        const char *shortcut;
        int colorNumber;
    };
    using Tool = DocumentTool::AbstractTool;
    const Spec specs[] = {
        { "rectangle", ":icons/square-outline.svg", tr("Rectangle"),
            tr("Draw rectangle in any Pdf document."), Tool::Rectangle, "rectangle", 6 },
        { "areaHighlight", ":icons/square.png", tr("Area highlight"),
            tr("Highlight rectangle in any Pdf document."), Tool::RectangleHighlight, "areaHighlight", 1 },
        { "underline", ":icons/underline.svg", tr("Underline"),
            tr("Underline selectable text in text-format Pdf document."), Tool::TextUnderline,
            "textUnderline", 6 },
        { "textHighlight", ":icons/text.png", tr("Text highlight"),
            tr("Highlight selectable text in text-format Pdf document."), Tool::TextHighlight,
            "textHighlight", 1 },
        { "linePen", ":icons/horline.png", tr("Horizontal line"),
            tr("Draw horizontal line in any Pdf document."), Tool::HorLine, "linePen", 6 },
        { "lineBrush", ":icons/horHighlight.png", tr("Horizontal highlight"),
            tr("Draw horizontal highlight in any Pdf document."), Tool::HorHighlight, "lineBrush", 1 },
    };
    for (const Spec &spec : specs) {
        auto *action
            = new AnnotationToolAction(lazyIcon(QLatin1String(spec.icon)), spec.text, spec.type, this);
        action->setObjectName(QLatin1String(spec.name));
        action->setWhatsThis(spec.whatsThis);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        action->setProperty("defaultColorNumber", spec.colorNumber);
        m_toolGroup->addAction(action);
        addAction(action);
        m_toolBar->addAction(action);
        m_toolShortcutNames.insert(action, QLatin1String(spec.shortcut));
        m_annotationActions.append(action);
        const int type = spec.type;
        connect(action, &AnnotationToolAction::colorChanged, this, [this, type](const QColor &color) {
            if (DocumentTool::AbstractTool *tool = m_readingView->tool(type)) {
                tool->setColor(color);
            }
        });
    }
}

void DocumentWidget::reloadShortcuts()
{
    const auto *settings = Common::Infrastructure::Settings::instance();
    for (auto it = m_toolShortcutNames.constBegin(); it != m_toolShortcutNames.constEnd(); ++it) {
        const QKeySequence key = settings->shortcut.shortcut(it.value());
        it.key()->setShortcut(key);
        const QString text = it.key()->text();
        it.key()->setToolTip(key.isEmpty()
                ? text
                : QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
    }
    // One key per colour of the pane, named by the colour without its "#"; only keys the user set.
    qDeleteAll(m_colorShortcuts);
    m_colorShortcuts.clear();
    for (const QColor &color : qAsConst(m_paneColors)) {
        const QString name = color.name().mid(1);
        if (!settings->shortcut.isStored(name)) {
            continue;
        }
        const QKeySequence key = settings->shortcut.shortcut(name);
        if (key.isEmpty()) {
            continue;
        }
        auto *shortcut = new QShortcut(key, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        const QString colorName = color.name();
        connect(shortcut, &QShortcut::activated, this,
            [this, colorName] { on_colorShortcut_actived(colorName); });
        m_colorShortcuts.append(shortcut);
    }
}

void DocumentWidget::reloadColors()
{
    const auto *settings = Common::Infrastructure::Settings::instance();
    m_paneColors = settings->colorPane.paneColors();
    const QVector<QColor> colors(m_paneColors.begin(), m_paneColors.end());
    for (AnnotationToolAction *action : qAsConst(m_annotationActions)) {
        action->setColors(colors, settings->colorPane.columnCount());
        if (!action->color().isValid()) {
            action->setColor(DocumentTool::paneColor(action->property("defaultColorNumber").toInt()));
        }
    }
    reloadShortcuts();
}

void DocumentWidget::on_colorShortcut_actived(const QString &name)
{
    if (auto *action = qobject_cast<AnnotationToolAction *>(m_toolGroup->checkedAction())) {
        action->setColor(QColor(name));
    }
}

} // namespace Nod::Presentation
