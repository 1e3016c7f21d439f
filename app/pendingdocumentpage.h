#pragma once

#include <domain/document.h>
#include <reading/tab/documenttab.h>

#include <QWidget>

#include <optional>

namespace Nod::Presentation {

// Stands in the main window's stack for a document of a restored session until its tab is first
// shown, when the window puts a real document tab in its place. It costs nothing at start-up and,
// never having shown the document, stores nothing when closed: the saved reading state stays as
// it was.
class PendingDocumentPage final : public QWidget, public DocumentTab
{
    Q_OBJECT
    Q_INTERFACES(Nod::Presentation::DocumentTab)
    Q_DISABLE_COPY_MOVE(PendingDocumentPage)

public:
    explicit PendingDocumentPage(const Nod::Domain::Document &document, QWidget *parent = nullptr);

    const Nod::Domain::Document &document() const { return m_document; }

    int documentId() const override { return m_document.id(); }
    void closeDocument() override { }
    // A real tab made later reads the shortcuts and colours of that moment.
    void reloadShortcuts() override { }
    void reloadColors() override { }
    void print() override { }
    // Kept for the real tab, which shows it once it has opened the document.
    void showSearchHit(int page, int annotationId, const QString &words) override;

    struct SearchHit
    {
        int page = 0;
        int annotationId = 0;
        QString words;
    };
    const std::optional<SearchHit> &searchHit() const { return m_searchHit; }

private:
    Nod::Domain::Document m_document;
    std::optional<SearchHit> m_searchHit;
};

} // namespace Nod::Presentation
