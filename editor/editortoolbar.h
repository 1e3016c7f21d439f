#pragma once

#include <QPointer>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextListFormat>
#include <QToolBar>

class QActionGroup;
class QGraphicsTextItem;
class QMenu;
class QTextDocument;
class QTextEdit;
class QToolButton;

namespace Nod::Application {
class TagService;
}

namespace Nod::Presentation {

class ColorPane;

// The formatting bar of rich-text notes. Its owner shows it, as a child widget of the view, while a
// note is being edited and attaches it to that note's text (a text item of a scene or a text edit)
// together with the annotation id. The bar formats the note's selection, inserts images and edits the
// note's tags through the tag service.
//
// Nothing on the bar takes the keyboard focus: a format applied from it leaves the note focused and
// its selection in place, so the note's own focus-out still saves the change. Where a dialog has to
// take the focus (images, tags) the focus is given back to the note afterwards. Every command that
// changes the note's text also emits noteEdited(), for owners that save outside the note's focus.
// The bar's keys (Ctrl+B, Ctrl+I, Ctrl+U) are taken from the note itself while it has the focus,
// so they never clash with window shortcuts on the same keys.
class EditorToolBar : public QToolBar
{
    Q_OBJECT

public:
    explicit EditorToolBar(QWidget *parent = nullptr);
    ~EditorToolBar() override;

    // Not owned; set once after construction. Without one the tags command is disabled.
    void setTagService(Application::TagService *service);
    Application::TagService *tagService() const { return m_tags; }

    void attach(QGraphicsTextItem *item, int annotationId);
    void attach(QTextEdit *edit, int annotationId);
    void detach();
    bool isAttached() const;
    int annotationId() const { return m_annotationId; }
    // The attached note's text, or null.
    QTextDocument *document() const;

    QAction *boldAction() const { return m_bold; }
    QAction *italicAction() const { return m_italic; }
    QAction *underlineAction() const { return m_underline; }
    QAction *imageAction() const { return m_image; }
    QAction *tagsAction() const { return m_tagsAction; }
    // Built when first opened (font families can number in the hundreds).
    QMenu *fontFamilyMenu() const { return m_fontFamilyMenu; }
    QMenu *fontSizeMenu() const { return m_fontSizeMenu; }
    QMenu *alignmentMenu() const { return m_alignmentMenu; }
    QMenu *listMenu() const { return m_listMenu; }
    QMenu *indentMenu() const { return m_indentMenu; }
    ColorPane *textColorPane() const { return m_textColors; }
    ColorPane *backgroundColorPane() const { return m_backgroundColors; }

    // Merges the format into the note's selection (or the format typed next, without one).
    void mergeFormat(const QTextCharFormat &format);
    void setFontFamily(const QString &family);
    void setFontPointSize(qreal size);
    void setAlignment(Qt::Alignment alignment);
    void toggleList(QTextListFormat::Style style);
    void changeIndent(int delta);

signals:
    // The attached note's text was changed by the bar.
    void noteEdited(int annotationId);
    // The attached note's tags were changed through the tags dialog.
    void tagsEdited(int annotationId);

public slots:
    // Shows the bold, italic and underline state of the text at the note's cursor.
    void updateFormatState();
    void insertImages();
    void editTags();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addFormatAction(const QString &name, const QString &text, const QString &theme,
        const QString &resource, const QKeySequence &shortcut);
    QToolButton *addMenuButton(
        const QString &objectName, const QString &text, const QIcon &icon, QMenu *menu);
    ColorPane *addColorButton(
        const QString &objectName, const QString &text, const QString &resource, bool foreground);
    void fillFontFamilyMenu();
    void fillFontSizeMenu();
    void checkAlignment();
    void attachTo(QObject *target, QGraphicsTextItem *item, QTextEdit *edit, int annotationId);

    QTextCursor textCursor() const;
    QTextCharFormat currentCharFormat() const;
    void setTextCursor(const QTextCursor &cursor);
    // Gives the keyboard focus back to the note.
    void refocus();
    // Runs a change of the note's text: reports it when the text changed and refocuses the note.
    template <typename Change> void edit(Change change);
    // The bar's action for a key event, or null.
    QAction *keyAction(QEvent *event) const;

    QPointer<QGraphicsTextItem> m_item;
    QPointer<QTextEdit> m_edit;
    QPointer<QObject> m_filtered; // the object whose key events the bar watches
    int m_annotationId = 0;
    Application::TagService *m_tags = nullptr; // not owned
    bool m_inDialog = false;

    QAction *m_bold;
    QAction *m_italic;
    QAction *m_underline;
    QAction *m_image = nullptr;
    QAction *m_tagsAction = nullptr;
    QMenu *m_fontFamilyMenu; // child
    QMenu *m_fontSizeMenu; // child
    QMenu *m_alignmentMenu; // child
    QMenu *m_listMenu; // child
    QMenu *m_indentMenu; // child
    QActionGroup *m_fontFamilies;
    QActionGroup *m_fontSizes;
    QActionGroup *m_alignments;
    ColorPane *m_textColors = nullptr;
    ColorPane *m_backgroundColors = nullptr;
};

} // namespace Nod::Presentation
