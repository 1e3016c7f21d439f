#include "documentmodel.h"

#include "idlistmime.h"
#include "libraryroles.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/tagservice.h>

#include <QDebug>
#include <QMimeData>
#include <QSet>

#include <algorithm>
#include <exception>

namespace Nod::Presentation {

DocumentModel::DocumentModel(Application::DocumentService *documents, Application::NoteService *notes,
    Application::TagService *categories, QObject *parent)
    : QAbstractTableModel(parent)
    , m_documents(documents)
    , m_notes(notes)
    , m_categories(categories)
{
    const QVector<Domain::Document> all = m_documents->documents();
    m_ids.reserve(all.size());
    m_rows.reserve(all.size());
    m_entries.reserve(all.size());
    for (const Domain::Document &doc : all) {
        m_rows.insert(doc.id(), m_ids.size());
        m_ids.append(doc.id());
        m_entries.insert(doc.id(), entryOf(doc));
    }
    m_counts = m_notes->annotationCounts();

    using Application::DocumentService;
    connect(m_documents, &DocumentService::added, this, &DocumentModel::on_documentAdded);
    connect(m_documents, &DocumentService::removed, this, &DocumentModel::on_documentRemoved);
    connect(m_documents, &DocumentService::titleChanged, this,
        [this](const Domain::Document &doc) { refresh(doc, TitleColumn); });
    connect(m_documents, &DocumentService::fileChanged, this,
        [this](const Domain::Document &doc) { refresh(doc, FilePathColumn); });
    connect(m_documents, &DocumentService::lastReadChanged, this,
        [this](const Domain::Document &doc) { refresh(doc, LastReadedAtColumn); });

    using Application::NoteService;
    connect(m_notes, &NoteService::added, this, &DocumentModel::on_annotationCountChanged);
    connect(m_notes, &NoteService::removed, this, &DocumentModel::on_annotationCountChanged);

    using Application::TagService;
    connect(m_categories, &TagService::itemAdded, this, &DocumentModel::on_categoryItemChanged);
    connect(m_categories, &TagService::itemRemoved, this, &DocumentModel::on_categoryItemChanged);
    connect(m_categories, &TagService::nameChanged, this, &DocumentModel::on_categoryNameChanged);
}

DocumentModel::~DocumentModel() = default;

DocumentModel::Entry DocumentModel::entryOf(const Domain::Document &doc)
{
    return Entry { doc.title(), doc.addedAt(), doc.lastReadedAt(), doc.localUrl() };
}

int DocumentModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_ids.size(); }

int DocumentModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

int DocumentModel::rowOfDocument(int documentId) const { return m_rows.value(documentId, -1); }

int DocumentModel::documentIdAt(int row) const { return row >= 0 && row < m_ids.size() ? m_ids.at(row) : 0; }

int DocumentModel::annotationCount(int documentId) const
{
    auto it = m_counts.find(documentId);
    if (it == m_counts.end()) {
        it = m_counts.insert(documentId, m_notes->annotationCount(documentId));
    }
    return it.value();
}

QString DocumentModel::categoryText(int documentId) const
{
    auto it = m_categoryTexts.find(documentId);
    if (it == m_categoryTexts.end()) {
        const QVector<Domain::Tag> tags = m_categories->tagsOfDocument(documentId);
        QStringList names;
        names.reserve(tags.size());
        for (const Domain::Tag &tag : tags) {
            names.append(tag.name());
        }
        std::sort(names.begin(), names.end(),
            [](const QString &a, const QString &b) { return QString::localeAwareCompare(a, b) < 0; });
        it = m_categoryTexts.insert(documentId, names.join(QLatin1Char(',')));
    }
    return it.value();
}

QVariant DocumentModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_ids.size()) {
        return QVariant();
    }
    const int id = m_ids.at(index.row());
    const auto entry = m_entries.constFind(id);
    if (entry == m_entries.constEnd()) {
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case TitleColumn:
            return entry->title;
        case AnnotationCountColumn:
            return std::max(0, annotationCount(id) - 1);
        case CategoriesColumn:
            return categoryText(id);
        case AddedAtColumn:
            return entry->addedAt;
        case LastReadedAtColumn:
            return entry->lastReadedAt;
        case FilePathColumn:
            return entry->localUrl;
        default:
            qWarning() << "Nod::Presentation::DocumentModel::data"
                       << "unsupported column when edit" << index.column();
            return QVariant();
        }
    case Qt::ToolTipRole:
        return entry->localUrl;
    case Qt::TextAlignmentRole:
        return index.column() == TitleColumn ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    case LibraryRole::DocumentId:
        return id;
    default:
        return QVariant();
    }
}

QVariant DocumentModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
    case TitleColumn:
        return tr("Title");
    case AnnotationCountColumn:
        return tr("Annotation Count");
    case CategoriesColumn:
        return tr("Categories");
    case AddedAtColumn:
        return tr("Added At");
    case LastReadedAtColumn:
        return tr("Last Readed At");
    case FilePathColumn:
        return tr("File Path");
    default:
        return QVariant();
    }
}

bool DocumentModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() != TitleColumn) {
        return false;
    }
    // The row follows the service's titleChanged signal; nothing is cached here first.
    return m_documents->changeTitle(documentIdAt(index.row()), value.toString());
}

Qt::ItemFlags DocumentModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (!index.isValid()) {
        return result;
    }
    result |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (index.column() == TitleColumn) {
        result |= Qt::ItemIsEditable;
    }
    return result;
}

bool DocumentModel::removeDocument(int documentId)
{
    try {
        return m_documents->remove(documentId);
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::DocumentModel::removeRows"
                   << "remove document failed, id:" << documentId << error.what();
        return false;
    }
}

bool DocumentModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_ids.size()) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const int documentId = documentIdAt(row);
        if (!removeDocument(documentId)) {
            return false;
        }
        // The service's removed signal took the row out; guard against a service that did not.
        if (rowOfDocument(documentId) >= 0) {
            return false;
        }
    }
    return true;
}

QStringList DocumentModel::mimeTypes() const { return { IdListMime::tagListFormat() }; }

QMimeData *DocumentModel::mimeData(const QModelIndexList &indexes) const
{
    QSet<int> ids;
    for (const QModelIndex &index : indexes) {
        if (index.isValid()) {
            ids.insert(documentIdAt(index.row()));
        }
    }
    auto *data = new QMimeData;
    data->setData(IdListMime::documentListFormat(), IdListMime::encode(QVector<int>(ids.begin(), ids.end())));
    return data;
}

bool DocumentModel::canDropMimeData(
    const QMimeData *data, Qt::DropAction, int row, int column, const QModelIndex &parent) const
{
    const QModelIndex target = row >= 0 ? index(row, std::max(column, 0), parent) : parent;
    return target.isValid() && data && data->hasFormat(IdListMime::tagListFormat());
}

bool DocumentModel::dropMimeData(
    const QMimeData *data, Qt::DropAction, int row, int column, const QModelIndex &parent)
{
    const QVector<int> tagIds = IdListMime::read(data, IdListMime::tagListFormat());
    if (tagIds.isEmpty()) {
        return false;
    }
    const QModelIndex target = row >= 0 ? index(row, std::max(column, 0), parent) : parent;
    if (!target.isValid()) {
        return false;
    }
    try {
        return m_categories->addItem(tagIds.first(), documentIdAt(target.row()));
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::DocumentModel::dropMimeData" << error.what();
        return false;
    }
}

Qt::DropActions DocumentModel::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction; }

Qt::DropActions DocumentModel::supportedDragActions() const
{
    // Dragging a document into a category files it there; the shelf row stays.
    return Qt::CopyAction;
}

void DocumentModel::on_documentAdded(const Domain::Document &doc)
{
    if (m_rows.contains(doc.id())) {
        return;
    }
    const int row = m_ids.size();
    beginInsertRows(QModelIndex(), row, row);
    m_ids.append(doc.id());
    m_rows.insert(doc.id(), row);
    m_entries.insert(doc.id(), entryOf(doc));
    m_categoryTexts.remove(doc.id());
    m_counts.remove(doc.id());
    endInsertRows();
}

void DocumentModel::on_documentRemoved(const Domain::Document &doc)
{
    // Begun and ended here rather than from aboutToBeRemoved: a removal whose transaction fails never
    // sends removed, and the views must not be left inside an unfinished removal.
    const int row = rowOfDocument(doc.id());
    if (row < 0) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    m_ids.remove(row);
    m_rows.remove(doc.id());
    for (int i = row; i < m_ids.size(); ++i) {
        m_rows[m_ids.at(i)] = i;
    }
    m_entries.remove(doc.id());
    m_counts.remove(doc.id());
    m_categoryTexts.remove(doc.id());
    endRemoveRows();
}

void DocumentModel::refresh(const Domain::Document &doc, int column)
{
    const int row = rowOfDocument(doc.id());
    if (row < 0) {
        return;
    }
    m_entries[doc.id()] = entryOf(doc);
    emitCellChanged(row, column);
}

void DocumentModel::emitCellChanged(int row, int column)
{
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell);
}

void DocumentModel::on_annotationCountChanged(const Domain::Annotation &anno)
{
    const int row = rowOfDocument(anno.documentId());
    if (row < 0) {
        return;
    }
    // The note service has already updated its own count when its listeners run.
    m_counts.insert(anno.documentId(), m_notes->annotationCount(anno.documentId()));
    emitCellChanged(row, AnnotationCountColumn);
}

void DocumentModel::on_categoryItemChanged(const Domain::Tag &, int docId)
{
    m_categoryTexts.remove(docId);
    const int row = rowOfDocument(docId);
    if (row >= 0) {
        emitCellChanged(row, CategoriesColumn);
    }
}

void DocumentModel::on_categoryNameChanged(const Domain::Tag &tag)
{
    const QSet<int> items = tag.items();
    for (int docId : items) {
        on_categoryItemChanged(tag, docId);
    }
}

} // namespace Nod::Presentation
