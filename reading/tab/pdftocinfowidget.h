#pragma once

#include <backend/pdftocitem.h>

#include <QFutureWatcher>
#include <QList>
#include <QSharedPointer>
#include <QWidget>

class PDFAction;
class QTreeView;

namespace Backend {
class Document;
}

namespace Nod::Presentation {

class OutlineModel;

// The outline page of a document tab's side bar. Selecting an entry triggers its action at once.
// The outline is read off the interface thread: a large book's outline takes a while to build.
class PDFToCInfoWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PDFToCInfoWidget)

public:
    explicit PDFToCInfoWidget(QWidget *parent = nullptr);
    ~PDFToCInfoWidget() override;

    OutlineModel *model() const { return m_model; }
    QTreeView *treeView() const { return m_tree; }

signals:
    // The action lives as long as the outline shown; receivers act on it at once.
    void actionTriggered(const PDFAction *action);
    // The outline of the last document given has been read and shown.
    void outlineLoaded();

public slots:
    void initFromDocument(const QSharedPointer<Backend::Document> &document);
    void setOutline(const QList<Backend::PDFToCItem> &items);
    void clear();
    void retranslateUi();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void itemSelectionChanged();
    void expandOpenEntries(const QModelIndex &parent);

    QTreeView *m_tree;
    OutlineModel *m_model;
    QFutureWatcher<QList<Backend::PDFToCItem>> *m_watcher;
};

} // namespace Nod::Presentation
