#pragma once

#include <QObject>

class QWidget;

namespace Nod::App {

// Makes the memory of a window's first frame in one call when the window is first exposed, just
// before the frame is painted. The frame is new memory: painting it would otherwise fault each of
// its pages in on first touch, thousands of faults on a maximised window, each far dearer than the
// kernel making the pages in a batch (on virtual machines most of all). The frame is made no
// earlier: the X server builds its side of the frame when it is made, and an exposure still to be
// sent would wait for that.
class FrameWarmUp : public QObject
{
    Q_OBJECT

public:
    // `window` is a shown top-level window that outlives this.
    explicit FrameWarmUp(QWidget *window);
    FrameWarmUp(const FrameWarmUp &) = delete;
    FrameWarmUp &operator=(const FrameWarmUp &) = delete;
    ~FrameWarmUp() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void prepareFrame();
    void finish();

    QWidget *m_window = nullptr;
};

} // namespace Nod::App
