#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace Nod::Presentation {

// One category of the current document in the tag bar.
class TagLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagLabel)

public:
    explicit TagLabel(const QString &name, QWidget *parent = nullptr);
};

// The tag bar's input line; Return hands over what was typed.
class TagEdit final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagEdit)

public:
    explicit TagEdit(QWidget *parent = nullptr);
};

// The categories of the current document as labels that wrap over lines, followed by an input line
// for adding the document to more categories.
class TagBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagBar)

public:
    explicit TagBar(QWidget *parent = nullptr);

    void setTags(const QStringList &names);
    QStringList tags() const;
    TagEdit *edit() const { return m_edit; }

signals:
    void addTagRequested(QString names);

private:
    QList<TagLabel *> m_labels;
    TagEdit *m_edit = nullptr;
};

} // namespace Nod::Presentation
