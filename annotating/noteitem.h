#pragma once

#include <QGraphicsTextItem>
#include <QTextCharFormat>
#include <QTimer>

#include <functional>

class QMimeData;

namespace Nod::Application {
class NoteService;
class ResourceService;
} // namespace Nod::Application

namespace Nod::Presentation {

class TextDocument;

// The rich-text note of one annotation, shown beside its page. The item only edits: a changed text is
// announced through textChanged() when the editing ends (focus leaves, also to a foreign popup, or
// commitEditing() is called before the tab closes, reloads, switches view or undoes), and while it
// goes on, after a pause in the typing and at least every few seconds, so that a crash loses little.
// Whoever owns the page turns each announcement into an undo command; those of one editing session
// carry its number and merge into one step. Images the text stops naming are left in the store: an
// undo step may still need them.
class NoteItem : public QGraphicsTextItem
{
    Q_OBJECT

public:
    enum { Type = UserType + 30 };
    // A note whose stored HTML is longer than this shows only its beginning, this long, until it is
    // opened for editing: the whole of it could hold the interface for minutes.
    static constexpr int previewThreshold = 1024 * 1024;
    static constexpr int previewLength = 16 * 1024;
    // A stored note is read whole up to this many bytes, which holds any text of at most
    // previewThreshold characters; of a longer one only the first beginningBytes are read, which
    // hold at least previewLength characters.
    static constexpr qint64 wholeReadBytes = 3 * qint64(previewThreshold);
    static constexpr int beginningBytes = 4 * previewLength;
    // Typing is announced this long after the last change, and at least this often while it goes on.
    static constexpr int autosaveIdleMs = 1000;
    static constexpr int autosaveLongestMs = 4000;

    // `resources` is not owned; without one the registry's resource service is used.
    explicit NoteItem(
        int annotationId, Application::ResourceService *resources = nullptr, QGraphicsItem *parent = nullptr);
    ~NoteItem() override;

    int type() const override { return Type; }
    int annotationId() const { return m_annotationId; }
    // The note's document, made from its text first if it has not been shown yet.
    TextDocument *textDocument() const;
    // Whether the text has been made into the document: a note is made when it is first shown
    // (visible in its scene) or its document is asked for, not when it is loaded.
    bool hasDocument() const { return !m_pending; }

    // 1: an empty note that is neither focused, selected nor showing its menu takes no space.
    int noteMode() const { return m_noteMode; }
    void setNoteMode(int mode);
    bool isHovered() const { return m_hovered; }
    bool isMenuOpen() const { return m_menuOpen; }

    // Fills the note from stored HTML without leaving an undo step or a modified flag; an empty text
    // starts with the note font at line height 150 %. A very long text is only previewed.
    void load(const QString &html, const QFont &emptyFont);
    // Previews a stored note too long to be read whole from its beginning and its stored size;
    // readWhole reads the whole text, or gives a null text when it cannot.
    void loadBeginning(const QString &beginning, qint64 storedBytes, std::function<QString()> readWhole,
        const QFont &emptyFont);
    // Loads the annotation's note from the store, a very long one only as far as its preview shows
    // it. The service is not owned; a long note read whole later is read while it lasts.
    void loadStored(Application::NoteService *notes, const QFont &emptyFont);
    // True while only the beginning of a very long note is shown; it cannot be edited then.
    bool isPreview() const { return m_preview; }
    // Shows the whole of a previewed note, which can then be edited. Takes as long as the text needs.
    void openWhole();
    // Announces an edited text now (textChanged()) and clears the modified flag; false when the text
    // had not changed since it was loaded or last announced.
    bool commitEditing();
    // The HTML as it is stored.
    QString html() const;
    // Unique to the current editing session (focus in to focus out) of this note; 0 before any.
    quint64 editingSession() const { return m_session; }
    // Sets the width the text wraps at, and fits the note's pictures to it.
    void setNoteWidth(qreal width);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    virtual bool canInsertFromMimeData(const QMimeData *source) const;
    // Applies a format from the editor tool bar to the selection.
    void mergeCurrentCharFormat(const QTextCharFormat &format);

    // The outline of every occurrence of the text, one rectangle per covered line part.
    QPainterPath searchPaths(const QString &text, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;

signals:
    void removeRequested();
    void textChanged();
    void editingStarted();
    void editingFinished();
    void hoveredChanged(bool hovered);
    void selectedChanged(bool s);
    void currentCharFormatChanged(const QTextCharFormat &f);
    void heightChanged();

public slots:
    void setHovered(bool v);
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void deleteSelected();
    void selectAll();
    void on_remove_triggered();
    void on_contentChanged();

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;

private:
    bool isCollapsed() const;
    void checkCharFormat();
    void setReportedHeight(double height);
    // Asks for removal once control is back in the event loop; repeated requests before then are one.
    void requestRemoval();
    // Tells the user why pictures of the last insertion were left out.
    void reportRefusals();

    void preview(const QString &beginning, qint64 size);
    // Sets what the document shows, made now when the note is visible and else when first needed.
    void show(const QString &html);
    void makeDocument();
    void fill(const QString &html, const QFont &emptyFont);
    bool isEmptyNote() const;

    int m_annotationId;
    TextDocument *m_document; // child
    bool m_preview = false;
    QString m_fullHtml; // the stored HTML while only its preview is shown, when held
    std::function<QString()> m_readWhole; // reads it when not held
    bool m_pending = false;
    QString m_pendingHtml; // what the document is to show once made
    QFont m_emptyFont;
    double m_reportedHeight = 0;
    int m_noteMode = 0;
    bool m_hovered = false;
    bool m_menuOpen = false;
    bool m_removalPending = false;
    QTextCharFormat m_charFormat;
    quint64 m_session = 0;
    bool m_sessionOpen = false;
    QTimer m_idleTimer;
    QTimer m_longestTimer;
};

} // namespace Nod::Presentation
