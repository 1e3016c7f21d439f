#pragma once

#include <backend/pdftocitem.h>

#include <QAbstractItemModel>
#include <QList>

#include <memory>
#include <vector>

class PDFAction;

namespace Nod::Presentation {

// A document's outline as a read-only tree model. Entries keep the outline's colour, bold and
// italic flags and its action; the model owns its copy of the outline.
class OutlineModel final : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutlineModel)

public:
    enum Role {
        // Whether the document asks for the entry to be shown expanded (bool).
        OpenRole = Qt::UserRole + 1,
    };
    // Outline font flags as the document format defines them.
    enum FontFlag { Italic = 1, Bold = 2 };

    explicit OutlineModel(QObject *parent = nullptr);
    ~OutlineModel() override;

    void setOutline(const QList<Backend::PDFToCItem> &items);
    void clear();
    // Null for an entry without an action; owned by the model and valid until the outline changes.
    const PDFAction *action(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Node
    {
        const Backend::PDFToCItem *item = nullptr; // in m_items; null for the root
        Node *parent = nullptr;
        int row = 0;
        std::vector<std::unique_ptr<Node>> children;
    };

    Node *nodeAt(const QModelIndex &index) const;
    static void build(Node *node, const QList<Backend::PDFToCItem> &items);

    QList<Backend::PDFToCItem> m_items;
    std::unique_ptr<Node> m_root;
};

} // namespace Nod::Presentation
