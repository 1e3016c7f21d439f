#pragma once

#include <domain/annotation.h>

#include <QImage>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Backend {
class Document;
}
namespace Nod::Application {
class DocumentService;
class NoteService;
class ResourceService;
class TagService;
} // namespace Nod::Application

namespace Nod::Exchange {

enum class NotesFormat { Markdown, Html };

// The format a file name asks for by its suffix (".md", ".markdown", ".html", ".htm"); none otherwise.
std::optional<NotesFormat> notesFormatOf(const QString &fileName);

// A file name made from a title: no separators, reserved or control characters, no leading dots.
QString safeFileName(const QString &title, const QString &fallback = QStringLiteral("Notes"));

// Takes one document's notes out of the program as Markdown (images in a folder named after the
// file, next to it) or as one self-contained HTML file. Annotations come in reading order: by page,
// then by their place on the page, each followed by the annotations nested under it. The output is
// written to a temporary file and renamed into place, so a failed or cancelled export leaves any
// earlier file as it was. Interface thread; progress is reported per annotation and cancel() is
// honoured between annotations.
class NotesExporter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotesExporter)

public:
    // The services are not owned; null ones are taken from the service registry. `noteTags` is the
    // tag service over note tags.
    explicit NotesExporter(Application::DocumentService *documents = nullptr,
        Application::NoteService *notes = nullptr, Application::ResourceService *resources = nullptr,
        Application::TagService *noteTags = nullptr, QObject *parent = nullptr);
    ~NotesExporter() override;

    // The opened file to read marked text and excerpts from; by default the document's file is
    // opened for the export. Without a readable file the notes are exported without them.
    void setBackendDocument(const QSharedPointer<Backend::Document> &document);

    bool exportNotes(int documentId, const QString &filePath, NotesFormat format);
    QString errorString() const { return m_error; }
    bool wasCanceled() const { return m_canceled; }

    // One exported annotation, as the writers see it.
    struct Entry
    {
        Domain::Annotation annotation;
        int depth = 0; // 0: directly under the document note
        QString kind; // "Highlight", "Rectangle", ...
        QString markedText;
        QImage excerpt;
        QStringList tags;
    };
    // The annotations of the document in export order, without text and excerpts.
    QVector<Entry> orderedEntries(int documentId) const;

public slots:
    void cancel() { m_canceled = true; }

signals:
    void progressChanged(int done, int total);

private:
    // Fills in the marked text or the excerpt from the opened file. Any thread.
    static void readPage(const QSharedPointer<Backend::Document> &backend, Entry &entry);

    Application::DocumentService *m_documents; // not owned
    Application::NoteService *m_notes; // not owned
    Application::ResourceService *m_resources; // not owned
    Application::TagService *m_tags; // not owned
    QSharedPointer<Backend::Document> m_backend;
    QString m_error;
    bool m_canceled = false;
};

} // namespace Nod::Exchange
