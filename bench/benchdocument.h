#pragma once

#include <application/noteservice.h>
#include <infrastructure/database.h>

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QPainter;

namespace Nod::Application {
class ServiceRegistry;
}

// What the benchmarks that work on a generated, heavily annotated document share: a throw-away
// database with the services over it, the generated PDF and the annotations stored in one go.
namespace Bench {

// A migrated database in a temporary folder with a service registry installed over it; everything
// is taken down again, registry first, when the workspace goes.
class Workspace final
{
public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    // Says on stderr what failed.
    bool open();
    QString filePath(const QString &name) const;
    Nod::Application::ServiceRegistry *registry() const { return m_registry.get(); }
    // Registers the PDF at path as a document of the library and returns its id.
    int addDocument(const QString &path, const QString &title);

private:
    QTemporaryDir m_dir;
    Nod::Infrastructure::Database m_database;
    std::unique_ptr<Nod::Application::ServiceRegistry> m_registry;
};

// A PDF of A4 pages at 72 dpi without margins, draw painting page after page.
bool writePdf(const QString &path, int pages, const std::function<void(QPainter &, int page)> &draw);
// Pages of 40 lines of sample text each.
bool writeTextPdf(const QString &path, int pages);

// A flat coloured PNG image, its colour following seed.
QByteArray pngBytes(int seed, const QSize &size);

// Stores the annotation with its note html; with a png, the image is stored as a resource of the
// note and shown at the note's end, as a note with a pasted image is.
void storeAnnotation(Nod::Application::NewAnnotation record, QString html,
    const QByteArray &png = QByteArray(), const QSize &imageSize = QSize());

// Annotations with short notes under the document note, one in ten with an image; the first
// onCrowdedPage of them on crowdedPage and the rest spread over the pages. Inside one transaction.
void fillAnnotations(int documentId, int pages, int annotations, int crowdedPage, int onCrowdedPage);

} // namespace Bench
