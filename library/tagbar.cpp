#include "tagbar.h"

#include <QLayout>
#include <QStyle>

#include <memory>

namespace Nod::Presentation {

namespace {

// Lays its items out left to right and wraps them onto further lines.
class FlowLayout final : public QLayout
{
public:
    explicit FlowLayout(QWidget *parent)
        : QLayout(parent)
    {
        setContentsMargins(0, 0, 0, 0);
        setSpacing(4);
    }
    ~FlowLayout() override
    {
        while (QLayoutItem *item = takeAt(0)) {
            delete item;
        }
    }

    void addItem(QLayoutItem *item) override { m_items.append(item); }
    int count() const override { return m_items.size(); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override
    {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        arrange(rect, true);
    }
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSize() const override
    {
        QSize size;
        for (const QLayoutItem *item : m_items) {
            size = size.expandedTo(item->minimumSize());
        }
        const QMargins margins = contentsMargins();
        return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
    }

private:
    int arrange(const QRect &rect, bool apply) const
    {
        int x = rect.x();
        int y = rect.y();
        int lineHeight = 0;
        for (QLayoutItem *item : m_items) {
            const QSize hint = item->sizeHint();
            const int width = std::min(hint.width(), rect.width());
            if (x + width > rect.right() + 1 && lineHeight > 0) {
                x = rect.x();
                y += lineHeight + spacing();
                lineHeight = 0;
            }
            if (apply) {
                item->setGeometry(QRect(QPoint(x, y), QSize(width, hint.height())));
            }
            x += width + spacing();
            lineHeight = std::max(lineHeight, hint.height());
        }
        return y + lineHeight - rect.y();
    }

    QList<QLayoutItem *> m_items;
};

} // namespace

TagLabel::TagLabel(const QString &name, QWidget *parent)
    : QLabel(name, parent)
{
    setObjectName(QStringLiteral("tagLabel"));
    setTextFormat(Qt::PlainText);
    setStyleSheet(
        QStringLiteral("QLabel#tagLabel { background: #e3ecfc; border-radius: 3px; padding: 2px 6px; }"));
}

TagEdit::TagEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("tagEdit"));
    setPlaceholderText(tr("Click to add tag"));
    setFrame(false);
    setMinimumWidth(120);
}

TagBar::TagBar(QWidget *parent)
    : QWidget(parent)
    , m_edit(new TagEdit(this))
{
    setObjectName(QStringLiteral("tagBar"));
    auto *layout = new FlowLayout(this);
    layout->addWidget(m_edit);
    connect(m_edit, &QLineEdit::returnPressed, this, [this] {
        const QString text = m_edit->text();
        if (text.trimmed().isEmpty()) {
            return;
        }
        m_edit->clear();
        emit addTagRequested(text);
    });
}

void TagBar::setTags(const QStringList &names)
{
    qDeleteAll(m_labels);
    m_labels.clear();
    layout()->removeWidget(m_edit);
    for (const QString &name : names) {
        auto *label = new TagLabel(name, this);
        layout()->addWidget(label);
        m_labels.append(label);
    }
    layout()->addWidget(m_edit);
    updateGeometry();
}

QStringList TagBar::tags() const
{
    QStringList names;
    for (const TagLabel *label : m_labels) {
        names.append(label->text());
    }
    return names;
}

} // namespace Nod::Presentation
