#include "emptystatenotice.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Nod::Presentation {

EmptyStateNotice::EmptyStateNotice(
    const QString &title, const QString &text, const QString &buttonText, QWidget *parent)
    : QFrame(parent)
    , m_title(new QLabel(title, this))
    , m_text(new QLabel(text, this))
    , m_button(new QPushButton(buttonText, this))
{
    setObjectName(QStringLiteral("emptyStateNotice"));
    setAutoFillBackground(true);
    setFrameShape(QFrame::StyledPanel);
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_text->setObjectName(QStringLiteral("emptyStateText"));
    m_button->setObjectName(QStringLiteral("emptyStateButton"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_text->setWordWrap(true);
    for (QLabel *label : { m_title, m_text }) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(12);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    connect(m_button, &QPushButton::clicked, this, &EmptyStateNotice::buttonClicked);
}

QString EmptyStateNotice::title() const { return m_title->text(); }

QString EmptyStateNotice::text() const { return m_text->text(); }

} // namespace Nod::Presentation
