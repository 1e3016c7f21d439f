#include "select.h"

#include "textannotation.h"

#include <reading/basepage.h>
#include <reading/lazyicon.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>

#include <app/storage/settings.h>
#include <backend/page.h>
#include <editor/colorpane.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPen>
#include <QRubberBand>
#include <QWidgetAction>

#include <limits>

namespace DocumentTool {

namespace {

quint64 backendUid(const Base::Page *page)
{
    const QSharedPointer<Backend::Page> backend = page ? page->page().toStrongRef() : nullptr;
    return backend ? backend->uid() : 0;
}

double distance(const QPointF &p, const QRectF &r)
{
    const double dx = qMax(0.0, qMax(r.left() - p.x(), p.x() - r.right()));
    const double dy = qMax(0.0, qMax(r.top() - p.y(), p.y() - r.bottom()));
    return dx * dx + dy * dy;
}

double gapSum(const QPointF &p, const QRectF &r)
{
    const double dx = qMax(0.0, qMax(r.left() - p.x(), p.x() - r.right()));
    const double dy = qMax(0.0, qMax(r.top() - p.y(), p.y() - r.bottom()));
    return dx + dy;
}

bool isWordCharacter(QChar c) { return c.isLetterOrNumber(); }

// Collects selected boxes in page order into a TextSelection: whole boxes of one line that follow
// each other become one rectangle, and the text gets a line break where the selection crosses one.
class SelectionBuilder
{
public:
    SelectionBuilder(const QVector<Backend::TextBox> &boxes, const QVector<int> &lineOf, TextSelection &out)
        : m_boxes(boxes)
        , m_lineOf(lineOf)
        , m_out(out)
    {
        m_out.rects.clear();
        m_out.text.clear();
    }

    void addWhole(int i)
    {
        const Backend::TextBox &box = m_boxes.at(i);
        if (m_last >= 0 && i != m_last + 1) {
            separate(i);
        }
        if (box.character == QLatin1Char('\n')) {
            if (!m_out.text.isEmpty() && !m_out.text.endsWith(QLatin1Char('\n'))) {
                m_out.text.append(QLatin1Char('\n'));
            }
        } else {
            m_out.text.append(box.character);
        }
        if (box.rect.isEmpty()) {
            flush();
        } else if (m_run.isValid() && i == m_last + 1 && m_lineOf.at(i) == m_lineOf.at(m_last)) {
            m_run |= box.rect;
        } else {
            flush();
            m_run = box.rect;
        }
        m_last = i;
    }

    // Part of a box (some of its sub-boxes): shown, but its character is not the selection's.
    void addPart(int i, const QRectF &rect)
    {
        flush();
        if (m_last >= 0 && i != m_last) {
            separate(i);
        }
        m_out.rects.append(rect);
        m_last = i;
    }

    void finish()
    {
        flush();
        m_out.text = m_out.text.trimmed();
    }

private:
    void separate(int i)
    {
        if (m_last < 0 || m_out.text.isEmpty()) {
            return;
        }
        if (m_lineOf.at(i) != m_lineOf.at(m_last)) {
            if (!m_out.text.endsWith(QLatin1Char('\n'))) {
                m_out.text.append(QLatin1Char('\n'));
            }
        } else if (!m_out.text.endsWith(QLatin1Char(' '))) {
            m_out.text.append(QLatin1Char(' '));
        }
    }

    void flush()
    {
        if (m_run.isValid() && !m_run.isEmpty()) {
            m_out.rects.append(m_run);
        }
        m_run = QRectF();
    }

    const QVector<Backend::TextBox> &m_boxes;
    const QVector<int> &m_lineOf;
    TextSelection &m_out;
    QRectF m_run;
    int m_last = -1;
};

} // namespace

QColor paneColor(int number)
{
    const QList<QColor> colors = Common::Infrastructure::Settings::instance()->colorPane.paneColors();
    if (number >= 1 && number <= colors.size()) {
        return colors.at(number - 1);
    }
    const QList<QColor> defaults = Common::Infrastructure::Settings::ColorPane::defaultColors();
    return defaults.value(number - 1, Qt::yellow);
}

SelectionItem::SelectionItem(QGraphicsItem *parent)
    : QGraphicsPathItem(parent)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
    // Above the marks, so that a right click on the selection reaches the tool's menu.
    setZValue(100);
}

Select::Select(PDFDocumentView *view)
    : AbstractTool(view)
{
    m_cursor = QCursor(Qt::CrossCursor);
}

Select::~Select()
{
    delete m_item.data();
    delete m_rubberBand.data();
}

QColor Select::selectionColor() const
{
    QColor color = QApplication::palette().color(QPalette::Highlight);
    color.setAlpha(128);
    return color;
}

void Select::activate() { AbstractTool::activate(); }

void Select::deactivate()
{
    AbstractTool::deactivate();
    m_pressed = false;
    m_mode = Idle;
    m_overText = false;
    m_selection = TextSelection();
    m_pageIndex = -1;
    m_pageUid = 0;
    m_boxes.clear();
    m_lineOf.clear();
    delete m_item.data();
    if (m_rubberBand) {
        m_rubberBand->hide();
    }
}

Base::Page *Select::pageItem(int index) const
{
    return m_view && m_view->pdfScene() ? m_view->pdfScene()->pageAt(index) : nullptr;
}

bool Select::loadPage(int index)
{
    Base::Page *page = pageItem(index);
    const quint64 uid = backendUid(page);
    if (index == m_pageIndex && uid == m_pageUid) {
        return page != nullptr;
    }
    m_pageIndex = index;
    m_pageUid = uid;
    m_boxes.clear();
    m_lineOf.clear();
    const QSharedPointer<Backend::Page> backend = page ? page->page().toStrongRef() : nullptr;
    if (backend) {
        const QList<Backend::TextBox> boxes = backend->textBoxes();
        m_boxes = boxes.toVector();
        m_lineOf.resize(m_boxes.size());
        int line = 0;
        for (int i = 0; i < m_boxes.size(); ++i) {
            m_lineOf[i] = line;
            if (m_boxes.at(i).character == QLatin1Char('\n')) {
                ++line;
            }
        }
    }
    return page != nullptr;
}

QPointF Select::toPage(const QPointF &scenePos, const Base::Page *page) const
{
    return page->pageTransform().inverted().map(page->mapFromScene(scenePos));
}

int Select::boxAt(const QPointF &pagePos) const
{
    for (int i = 0; i < m_boxes.size(); ++i) {
        if (m_boxes.at(i).rect.contains(pagePos)) {
            return i;
        }
    }
    return -1;
}

void Select::updateHover(const QPointF &pagePos)
{
    m_overText = boxAt(pagePos) >= 0;
    m_view->viewport()->setCursor(m_overText ? Qt::IBeamCursor : Qt::CrossCursor);
}

void Select::clearSelection()
{
    const int page = m_selection.page;
    m_selection = TextSelection();
    m_selection.page = page;
    m_selection.pageUid = m_pageUid;
    if (m_item) {
        m_item->setPath(QPainterPath());
    }
}

void Select::showSelection()
{
    Base::Page *page = pageItem(m_selection.page);
    if (!page) {
        return;
    }
    if (!m_item) {
        m_item = new SelectionItem(page);
        m_item->setBrush(QBrush(selectionColor(), Qt::SolidPattern));
        m_item->setPen(QPen(Qt::transparent));
    } else if (m_item->parentItem() != page) {
        m_item->setParentItem(page);
    }
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const QTransform transform = page->pageTransform();
    for (const QRectF &rect : qAsConst(m_selection.rects)) {
        path.addRect(transform.mapRect(rect));
    }
    m_item->setPath(path);
}

void Select::selectRange(int first, int firstSub, int last, int lastSub)
{
    SelectionBuilder builder(m_boxes, m_lineOf, m_selection);
    for (int i = first; i <= last; ++i) {
        const Backend::TextBox &box = m_boxes.at(i);
        if (box.subRects.isEmpty() || (i != first && i != last)) {
            builder.addWhole(i);
            continue;
        }
        const int from = i == first ? firstSub : 0;
        const int to = i == last ? lastSub : box.subRects.size() - 1;
        for (int s = from; s <= to && s < box.subRects.size(); ++s) {
            builder.addPart(i, box.subRects.at(s));
        }
    }
    builder.finish();
}

void Select::selectArea(const QRectF &pageRect)
{
    SelectionBuilder builder(m_boxes, m_lineOf, m_selection);
    for (int i = 0; i < m_boxes.size(); ++i) {
        const Backend::TextBox &box = m_boxes.at(i);
        if (!box.rect.intersects(pageRect)) {
            continue;
        }
        if (box.subRects.isEmpty() || pageRect.contains(box.rect)) {
            builder.addWhole(i);
            continue;
        }
        for (const QRectF &sub : box.subRects) {
            if (sub.intersects(pageRect)) {
                builder.addPart(i, sub);
            }
        }
    }
    builder.finish();
}

void Select::selectWord(const QPointF &pagePos)
{
    const int at = boxAt(pagePos);
    if (at < 0 || !isWordCharacter(m_boxes.at(at).character)) {
        clearSelection();
        return;
    }
    int first = at;
    while (first > 0 && isWordCharacter(m_boxes.at(first - 1).character)) {
        --first;
    }
    int last = at;
    while (last + 1 < m_boxes.size() && isWordCharacter(m_boxes.at(last + 1).character)) {
        ++last;
    }
    SelectionBuilder builder(m_boxes, m_lineOf, m_selection);
    for (int i = first; i <= last; ++i) {
        builder.addWhole(i);
    }
    builder.finish();
}

void Select::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton) {
        // Another button joining a gesture ends it without a selection.
        if (m_pressed) {
            m_pressed = false;
            m_mode = Idle;
            if (m_rubberBand) {
                m_rubberBand->hide();
            }
            clearSelection();
        }
        return;
    }
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    if (!scene) {
        return;
    }
    const QPointF scenePos = m_view->mapToScene(event->pos());
    const int index = scene->pageIndexAt(scenePos);
    if (index < 0 || !loadPage(index)) {
        return;
    }
    m_selection = TextSelection();
    m_selection.page = index;
    m_selection.pageUid = m_pageUid;
    showSelection();
    m_pressed = true;
    m_dragStarted = false;
    m_pressViewPos = event->pos();
    m_pressPoint = scenePos;
    const QPointF pagePos = toPage(scenePos, pageItem(index));
    m_start.box = boxAt(pagePos);
    m_overText = m_start.box >= 0;
    m_mode = m_overText ? TextFlowSelection : AreaSelection;
    m_start.sub = 0;
    if (m_mode == TextFlowSelection) {
        const QVector<QRectF> &subs = m_boxes.at(m_start.box).subRects;
        for (int s = 0; s < subs.size(); ++s) {
            if (subs.at(s).contains(pagePos)) {
                m_start.sub = s;
                break;
            }
        }
    } else {
        if (!m_rubberBand) {
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, m_view->viewport());
        }
        m_rubberBand->setGeometry(QRect(event->pos(), QSize()));
        m_rubberBand->show();
    }
}

void Select::mouseMoveEvent(QMouseEvent *event)
{
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    if (!scene) {
        return;
    }
    const QPointF scenePos = m_view->mapToScene(event->pos());
    if (!m_pressed || m_mode == Idle) {
        const int index = scene->pageIndexAt(scenePos);
        if (index >= 0 && loadPage(index)) {
            updateHover(toPage(scenePos, pageItem(index)));
        }
        return;
    }
    if (!m_dragStarted) {
        if ((event->pos() - m_pressViewPos).manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        m_dragStarted = true;
    }
    // The selection stays on its page; a pointer beyond it selects up to the page's edge.
    Base::Page *page = pageItem(m_selection.page);
    if (!page || !loadPage(m_selection.page) || m_pageUid != m_selection.pageUid) {
        return;
    }
    const QPointF pagePos = toPage(scenePos, page);
    const QPointF pressPos = toPage(m_pressPoint, page);
    if (m_mode == AreaSelection) {
        m_rubberBand->setGeometry(QRect(m_view->mapFromScene(m_pressPoint), event->pos()).normalized());
        selectArea(QRectF(pressPos, pagePos).normalized());
        showSelection();
        return;
    }
    if (m_boxes.isEmpty() || m_start.box < 0 || m_start.box >= m_boxes.size()) {
        return;
    }
    int endBox = 0;
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < m_boxes.size(); ++i) {
        const double d = distance(pagePos, m_boxes.at(i).rect);
        if (d < best) {
            best = d;
            endBox = i;
            if (d == 0) {
                break;
            }
        }
    }
    int endSub = 0;
    const QVector<QRectF> &subs = m_boxes.at(endBox).subRects;
    double bestGap = std::numeric_limits<double>::max();
    for (int s = 0; s < subs.size(); ++s) {
        const double g = gapSum(pagePos, subs.at(s));
        if (g < bestGap) {
            bestGap = g;
            endSub = s;
        }
    }
    int first = m_start.box;
    int firstSub = m_start.sub;
    QPointF firstPoint = pressPos;
    int last = endBox;
    int lastSub = endSub;
    QPointF lastPoint = pagePos;
    if (last < first) {
        std::swap(first, last);
        std::swap(firstSub, lastSub);
        std::swap(firstPoint, lastPoint);
    } else if (last == first && lastSub < firstSub) {
        std::swap(firstSub, lastSub);
    }
    if (firstPoint.x() > m_boxes.at(first).rect.center().x()) {
        ++first;
        firstSub = 0;
    }
    if (last >= first && lastPoint.x() < m_boxes.at(last).rect.center().x()) {
        --last;
        lastSub = last >= 0 ? qMax(0, m_boxes.at(last).subRects.size() - 1) : 0;
    }
    if (first > last) {
        m_selection.rects.clear();
        m_selection.text.clear();
    } else {
        selectRange(first, firstSub, last, lastSub);
    }
    showSelection();
}

void Select::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        return;
    }
    m_pressed = false;
    m_mode = Idle;
    if (m_rubberBand) {
        m_rubberBand->hide();
    }
    if (event->buttons() != Qt::NoButton) {
        clearSelection();
    }
}

bool Select::isGestureRelease(const QMouseEvent *event) const
{
    return event->button() == Qt::LeftButton && event->buttons() == Qt::NoButton;
}

void Select::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_view->pdfScene()) {
        return;
    }
    const QPointF scenePos = m_view->mapToScene(event->pos());
    const int index = m_view->pdfScene()->pageIndexAt(scenePos);
    if (index < 0 || !loadPage(index)) {
        return;
    }
    m_pressed = false;
    m_mode = Idle;
    m_pressPoint = scenePos;
    m_selection = TextSelection();
    m_selection.page = index;
    m_selection.pageUid = m_pageUid;
    selectWord(toPage(scenePos, pageItem(index)));
    showSelection();
}

void Select::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy) && !m_selection.isEmpty()) {
        copy();
        event->accept();
    }
}

void Select::copy() const
{
    if (m_selection.text.isEmpty()) {
        return;
    }
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(m_selection.text, QClipboard::Clipboard);
    if (clipboard->supportsSelection()) {
        clipboard->setText(m_selection.text, QClipboard::Selection);
    }
}

void Select::commitFromMenu(int toolType, const QColor &color)
{
    auto *tool = dynamic_cast<AbstractTextAnnotation *>(m_view->tool(toolType));
    if (!tool || m_selection.isEmpty()) {
        return;
    }
    const QColor old = tool->color();
    tool->setColor(color);
    tool->commit(m_selection, m_pressPoint);
    tool->setColor(old);
}

void Select::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_selection.isEmpty()) {
        return;
    }
    event->accept();
    const auto *settings = Common::Infrastructure::Settings::instance();
    const QList<QColor> colorList = settings->colorPane.paneColors();
    const QVector<QColor> colors(colorList.begin(), colorList.end());
    const int columns = settings->colorPane.columnCount();

    QPointer<Select> self(this);
    QMenu menu(m_view);
    const auto addEntry = [&](const QString &name, const QString &icon, const QString &text,
                              const QString &whatsThis, QColor *chosen, int fallback, int toolType) {
        QAction *entry = menu.addAction(QIcon(icon), text);
        entry->setObjectName(name);
        entry->setWhatsThis(whatsThis);
        auto *colorMenu = new QMenu(&menu);
        auto *paneAction = new QWidgetAction(colorMenu);
        auto *pane = new Nod::Presentation::ColorPane(colors, columns, colorMenu);
        pane->setCurrentColor(chosen->isValid() ? *chosen : paneColor(fallback));
        paneAction->setDefaultWidget(pane);
        colorMenu->addAction(paneAction);
        entry->setMenu(colorMenu);
        connect(pane, &Nod::Presentation::ColorPane::clicked, &menu, [&menu, entry, chosen](const QColor &c) {
            *chosen = c;
            menu.close();
            entry->trigger();
        });
        connect(entry, &QAction::triggered, this, [this, chosen, fallback, toolType] {
            commitFromMenu(toolType, chosen->isValid() ? *chosen : paneColor(fallback));
        });
    };
    addEntry(QStringLiteral("textHighlight"), QStringLiteral(":icons/text.png"), tr("Text highlight"),
        tr("Highlight selectable text in text-format Pdf document."), &m_highlightColor, 1,
        AbstractTool::TextHighlight);
    addEntry(QStringLiteral("underline"), QStringLiteral(":icons/underline.svg"), tr("Underline"),
        tr("Underline selectable text in text-format Pdf document."), &m_underlineColor, 6,
        AbstractTool::TextUnderline);
    QAction *copyAction
        = menu.addAction(Nod::Presentation::lazyIcon(QStringLiteral(":icons/copy.svg")), tr("Copy"));
    copyAction->setObjectName(QStringLiteral("copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    connect(copyAction, &QAction::triggered, this, &Select::copy);
    menu.exec(event->globalPos());
    if (self) {
        clearSelection();
    }
}

} // namespace DocumentTool
