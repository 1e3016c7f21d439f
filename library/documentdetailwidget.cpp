#include "documentdetailwidget.h"

#include "overviewedit.h"
#include "tagbar.h"

#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace Nod::Presentation {

DocumentDetailWidget::DocumentDetailWidget(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("documentDetail"));
    m_pages = new QStackedWidget(this);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_pages);

    auto *none = new QLabel(tr("No documents selected"), m_pages);
    none->setObjectName(QStringLiteral("noDocumentLabel"));
    none->setAlignment(Qt::AlignCenter);
    m_pages->addWidget(none);

    auto *page = new QWidget(m_pages);
    auto *layout = new QVBoxLayout(page);
    m_title = new QLabel(page);
    m_title->setObjectName(QStringLiteral("detailTitle"));
    m_title->setWordWrap(true);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    m_title->setFont(titleFont);
    m_file = new QLabel(page);
    m_file->setObjectName(QStringLiteral("detailFile"));
    m_file->setWordWrap(true);
    m_file->setTextFormat(Qt::PlainText);
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_overview = new OverviewEdit(page);
    m_tagBar = new TagBar(page);
    layout->addWidget(m_title);
    layout->addWidget(m_file);
    layout->addWidget(m_overview, 1);
    layout->addWidget(m_tagBar);
    m_pages->addWidget(page);
}

void DocumentDetailWidget::setDocument(
    const std::optional<Domain::Document> &doc, const QStringList &categoryNames)
{
    if (!doc) {
        m_documentId = 0;
        m_overview->clear();
        m_tagBar->setTags({});
        m_pages->setCurrentIndex(0);
        return;
    }
    // Refreshing the shown document must not throw away what the user is typing.
    const bool sameDocument = m_documentId == doc->id();
    m_documentId = doc->id();
    m_title->setText(doc->title());
    m_file->setText(doc->localUrl());
    if (!sameDocument || !m_overview->hasFocus()) {
        m_overview->setPlainText(doc->overview());
    }
    m_tagBar->setTags(categoryNames);
    m_pages->setCurrentIndex(1);
}

bool DocumentDetailWidget::isShowingDocument() const { return m_pages->currentIndex() == 1; }

} // namespace Nod::Presentation
