#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <memory>
#include <vector>

namespace Backend {

class PageProcessingRequest;

// A document's worker for asynchronous page requests. It serves the most recent request first:
// the page the user asked for last is the one on screen.
class PDFPageProcessingThread final : public QThread
{
    Q_OBJECT

public:
    explicit PDFPageProcessingThread(QObject *parent = nullptr);
    ~PDFPageProcessingThread() override;

    // Any thread. An equal request still waiting is replaced.
    void addRequest(std::unique_ptr<PageProcessingRequest> request);
    // Any thread but the worker: drops the waiting requests and waits until the worker is idle.
    void cancelRequests();
    // Drops the waiting requests and ends the worker; later requests are dropped unserved.
    void stop();
    int pendingCount() const;

protected:
    void run() override;

private:
    std::vector<std::unique_ptr<PageProcessingRequest>> m_stack;
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_idle = true;
    QWaitCondition m_idleCondition;
    bool m_quit = false;
};

} // namespace Backend
