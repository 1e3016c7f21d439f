#pragma once

#include <QTextDocument>
#include <QWidget>

class QLabel;
class QLineEdit;
class QShortcut;
class QToolButton;

namespace Nod::Presentation {

// The find bar that floats at a view's top-right corner: a line edit whose Return asks for a
// search, a count of the results, Previous / Next (with the standard find-previous / find-next
// keys, answered anywhere in the parent view) and Close. Escape and Close hide the bar and clear
// the results.
class SearchLine final : public QWidget
{
    Q_OBJECT

public:
    explicit SearchLine(QWidget *parent = nullptr);

    QLineEdit *lineEdit() const { return m_edit; }
    QString text() const;
    int total() const { return m_total; }
    // Shows the bar with its text selected and the focus in it.
    void activate();

public slots:
    void setTotal(int total);
    void setCurrent(int current);
    // Hides the bar and asks for the results to be cleared.
    void close();

signals:
    void search(const QString &keyword, QTextDocument::FindFlags options);
    void nextResult();
    void previousResult();
    void clearResults();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void on_edit_returnPressed();
    void updateCount();

    QLineEdit *m_edit;
    QLabel *m_count;
    QToolButton *m_previous;
    QToolButton *m_next;
    QToolButton *m_close;
    QShortcut *m_nextShortcut = nullptr; // child of the parent view
    QShortcut *m_previousShortcut = nullptr; // child of the parent view
    int m_total = 0;
    int m_current = -1;
};

} // namespace Nod::Presentation
