#pragma once

#include <QObject>
#include <QPointer>

namespace Nod::Presentation {

class DocumentWidget;

// Waits for the front document of a start to show its first page: the page in view painted from
// its final image, with its marks and notes. Then it writes "first page shown: N ms" (N counted
// from the process start) and emits shown(); a tab closed or failed before that emits abandoned().
// It says either at most once, and the line is written at most once per process.
class FirstPageWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FirstPageWatch)

public:
    explicit FirstPageWatch(DocumentWidget *tab, QObject *parent = nullptr);

signals:
    void shown();
    void abandoned();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void check();
    // After the page in view made its marks and notes: done when it has none to paint.
    void checkUnmarked();
    void finish(bool shown);
    int pageInView() const;

    QPointer<DocumentWidget> m_tab;
    QPointer<QObject> m_viewport;
    bool m_checkQueued = false;
    bool m_done = false;
};

} // namespace Nod::Presentation
