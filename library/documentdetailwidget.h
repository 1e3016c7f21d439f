#pragma once

#include <domain/document.h>

#include <QWidget>

#include <optional>

class QLabel;
class QStackedWidget;

namespace Nod::Presentation {

class OverviewEdit;
class TagBar;

// The detail panel beside the shelf: the current document's title, file, overview and categories.
class DocumentDetailWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentDetailWidget)

public:
    explicit DocumentDetailWidget(QWidget *parent = nullptr);

    // Nothing shows the "No documents selected" notice.
    void setDocument(const std::optional<Domain::Document> &doc, const QStringList &categoryNames);
    // 0 when no document is shown.
    int documentId() const { return m_documentId; }
    bool isShowingDocument() const;

    OverviewEdit *overviewEdit() const { return m_overview; }
    TagBar *tagBar() const { return m_tagBar; }

private:
    int m_documentId = 0;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_file = nullptr;
    OverviewEdit *m_overview = nullptr;
    TagBar *m_tagBar = nullptr;
};

} // namespace Nod::Presentation
