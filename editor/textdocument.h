#pragma once

#include <QHash>
#include <QImage>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

class QMimeData;
class QTextCursor;
class QWidget;

namespace Nod::Application {
class ResourceService;
}

namespace Nod::Presentation {

// The rich text of one annotation's note. Images are not kept in the HTML: each one is a Resource row
// of the annotation (the owner), named in the text by "database:" and the SHA-1 hex of its bytes.
// The document resolves only those names; nothing in a note ever makes it read a file, a device or
// the network, so a note cannot hang or flood the interface thread whatever its HTML says.
class TextDocument : public QTextDocument
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextDocument)

public:
    // Everything one paste may add to the database.
    static constexpr qint64 maxPasteBytes = 48 * 1024 * 1024;

    // `resources` is not owned; without one the registry's resource service is used.
    explicit TextDocument(
        int ownerId = 0, Application::ResourceService *resources = nullptr, QObject *parent = nullptr);
    ~TextDocument() override;

    static QString imageScheme() { return QStringLiteral("database"); }
    // Clipboard format that carries the bytes of the stored pictures a copied selection names, so
    // that they can be pasted into another note even after their own note has let them go.
    static QString pictureMimeType() { return QStringLiteral("application/x-nodera-note-pictures"); }

    int ownerId() const { return m_ownerId; }
    void setOwnerId(int id) { m_ownerId = id; }

    // Stores the image bytes as a resource of the owner (once per distinct image) and returns the URL
    // the text names it by. An empty URL when the bytes are over the caps, do not decode, or the
    // store refuses them; the refusal is logged.
    QUrl addImage(const QByteArray &bytes);

    // The hashes of the stored images the text names.
    QSet<QString> usedImageNames() const;
    // Removes the owner's resources this document's text no longer names. An undo step may still
    // need an image the text has dropped: call this only where none can (see the static form).
    void removeUnusedImages();

    // The same, for HTML as stored; parsed without loading anything it names.
    static QSet<QString> usedImageNames(const QString &html);
    // Removes the owner's resources that `storedHtml` does not name; returns how many went.
    static int removeUnusedImages(
        Application::ResourceService *resources, int ownerId, const QString &storedHtml);

    // Inserts each file as an image at the cursor. Files whose suffix no image reader supports are
    // skipped; the rest that cannot be read or stored give one message each, which is returned.
    QStringList insertImageFiles(QTextCursor &cursor, const QStringList &paths);
    // Asks for image files and inserts them; failures are shown in one message box.
    void insertImagesFromDialog(QTextCursor &cursor, QWidget *parent);
    // A pasted picture: stored as PNG, set in a block of its own. False when refused.
    bool insertImage(QTextCursor &cursor, const QImage &image);
    // Pasted HTML as a fragment to insert. Images from absolute local paths, file URLs and data URLs
    // become images of this note while within the caps; every other image is dropped and no remote
    // address is ever fetched.
    // `carried` holds picture bytes by hash, as a copy from another note brings them.
    QTextDocumentFragment importHtml(const QString &html, const QHash<QString, QByteArray> &carried = {});
    // Paste: an image, else HTML, else local image files, else plain text. False when nothing fitted.
    // Pictures of other notes that the data carries become pictures of this note.
    bool insertFromMimeData(QTextCursor &cursor, const QMimeData *source);
    // The selection as plain text and HTML, with the bytes of the stored pictures it names.
    QMimeData *createMimeData(const QTextCursor &selection);

    // Why pictures were refused since the last call, one sentence each, for the user.
    QStringList takeRefusals();

    // Re-decodes the stored images to fit the current text width; call after changing it.
    void fitImagesToWidth();
    // The image shown for a name that cannot be shown.
    static QImage placeholderImage();

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    Application::ResourceService *resources() const;
    // Widest an image may be shown; 0 when the text is not wrapped.
    int displayWidth() const;
    QImage imageForDisplay(const QString &hash);
    QString importImageName(const QString &name, qint64 &budget, const QHash<QString, QByteArray> &carried);
    void refuse(const QString &reason);

    int m_ownerId = 0;
    Application::ResourceService *m_resources = nullptr; // not owned
    struct Shown
    {
        int own = 0; // the picture's width
        int width = 0; // the width it was decoded to
    };
    // Stored images shown so far, by hash.
    QHash<QString, Shown> m_displayed;
    QStringList m_refusals;
};

} // namespace Nod::Presentation
