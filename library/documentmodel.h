#pragma once

#include <domain/annotation.h>
#include <domain/document.h>
#include <domain/tag.h>

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QVector>

namespace Nod::Application {
class DocumentService;
class NoteService;
class TagService;
} // namespace Nod::Application

namespace Nod::Presentation {

// The shelf's table: one row per document, in the order the documents were loaded or added. It
// changes data only through the services and follows their signals. Annotation counts and category
// names are kept per row, so that sorting thousands of rows never reads the database per row.
class DocumentModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentModel)

public:
    enum Column {
        TitleColumn,
        AnnotationCountColumn,
        CategoriesColumn,
        AddedAtColumn,
        LastReadedAtColumn,
        FilePathColumn,
        ColumnCount
    };

    // None of the services is owned; `categories` is the category service.
    DocumentModel(Application::DocumentService *documents, Application::NoteService *notes,
        Application::TagService *categories, QObject *parent = nullptr);
    ~DocumentModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Removes the documents with their annotation trees, images and category memberships.
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
        const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
        const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    // -1 when the document has no row.
    int rowOfDocument(int documentId) const;
    int documentIdAt(int row) const;

    Application::DocumentService *documentService() const { return m_documents; }
    Application::NoteService *noteService() const { return m_notes; }
    Application::TagService *categoryService() const { return m_categories; }

private:
    struct Entry
    {
        QString title;
        QDateTime addedAt;
        QDateTime lastReadedAt;
        QString localUrl;
    };
    static Entry entryOf(const Domain::Document &doc);

    void on_documentAdded(const Domain::Document &doc);
    void on_documentRemoved(const Domain::Document &doc);
    void refresh(const Domain::Document &doc, int column);
    void on_annotationCountChanged(const Domain::Annotation &anno);
    void on_categoryItemChanged(const Domain::Tag &tag, int docId);
    void on_categoryNameChanged(const Domain::Tag &tag);
    void emitCellChanged(int row, int column);

    int annotationCount(int documentId) const;
    QString categoryText(int documentId) const;
    bool removeDocument(int documentId);

    Application::DocumentService *m_documents; // not owned
    Application::NoteService *m_notes; // not owned
    Application::TagService *m_categories; // not owned
    QVector<int> m_ids; // row -> document id
    QHash<int, int> m_rows; // document id -> row
    QHash<int, Entry> m_entries; // document id -> row cache
    mutable QHash<int, int> m_counts; // document id -> annotation rows, document note included
    mutable QHash<int, QString> m_categoryTexts; // document id -> sorted, joined names
};

} // namespace Nod::Presentation
