#pragma once

#include <QGraphicsScene>
#include <QTransform>

class QPrinter;
class QUndoStack;

namespace Base {

// The scene shared by the reading view, the summary view and the mind map: the document it shows,
// the rendering resolution and the tab's undo stack. A scene that rebuilds its items (reload,
// unlock) announces it with aboutToBeRebuilt() before any item is deleted, so that whoever keeps
// pointers to items (highlights, armed tools, queued requests) drops them, and with rebuilt()
// afterwards.
class Scene : public QGraphicsScene
{
    Q_OBJECT

public:
    explicit Scene(QObject *parent = nullptr);

    int documentId() const { return m_documentId; }
    void setDocumentId(int documentId) { m_documentId = documentId; }
    double resolutionX() const { return m_dpiX; }
    double resolutionY() const { return m_dpiY; }
    void setResolution(double resolutionX, double resolutionY);
    QTransform transform() const { return m_transform; }
    void setTransform(const QTransform &transform) { m_transform = transform; }
    QUndoStack *undoStack() const { return m_undoStack; }
    void setUndoStack(QUndoStack *undoStack) { m_undoStack = undoStack; }

    // Draws the scene's pages onto the printer; false when the user cancelled or a page failed.
    virtual bool print(QPrinter *printer, QWidget *parentWidget) = 0;
    // True for a scene that shows the document's own pages.
    virtual bool isDocumentScene() const = 0;

public slots:
    // Deletes every item and builds the scene anew from its source.
    virtual void reinitializeScene() = 0;

signals:
    void contentChanged();
    void annotationCountChanged();
    void numberOfPrintingPageChanged(int number);
    void currentPrintingPageChanged(int page);
    void toggleView(int annoId);
    void aboutToBeRebuilt();
    void rebuilt();

protected:
    int m_documentId = -1;
    double m_dpiX = 0;
    double m_dpiY = 0;
    QTransform m_transform;
    QUndoStack *m_undoStack = nullptr; // not owned
};

} // namespace Base
