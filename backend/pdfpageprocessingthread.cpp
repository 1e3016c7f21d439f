#include "pdfpageprocessingthread.h"

#include <backend/pageprocessingrequest.h>

#include <QMutexLocker>

#include <algorithm>

namespace Backend {

PDFPageProcessingThread::PDFPageProcessingThread(QObject *parent)
    : QThread(parent)
{ }

PDFPageProcessingThread::~PDFPageProcessingThread() { stop(); }

void PDFPageProcessingThread::addRequest(std::unique_ptr<PageProcessingRequest> request)
{
    QMutexLocker locker(&m_mutex);
    if (m_quit || !request) {
        return;
    }
    const auto equal = std::find_if(
        m_stack.begin(), m_stack.end(), [&request](const std::unique_ptr<PageProcessingRequest> &waiting) {
            return waiting->isEqual(*request);
        });
    if (equal != m_stack.end()) {
        m_stack.erase(equal);
    }
    m_stack.push_back(std::move(request));
    if (isRunning()) {
        m_wake.wakeOne();
    } else {
        start(QThread::InheritPriority);
    }
}

void PDFPageProcessingThread::cancelRequests()
{
    QMutexLocker locker(&m_mutex);
    m_stack.clear();
    while (!m_idle && isRunning()) {
        m_idleCondition.wait(&m_mutex);
    }
}

void PDFPageProcessingThread::stop()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stack.clear();
        m_quit = true;
        m_wake.wakeAll();
    }
    wait();
}

int PDFPageProcessingThread::pendingCount() const
{
    QMutexLocker locker(&m_mutex);
    return static_cast<int>(m_stack.size());
}

void PDFPageProcessingThread::run()
{
    QMutexLocker locker(&m_mutex);
    while (!m_quit) {
        if (m_stack.empty()) {
            m_idle = true;
            m_idleCondition.wakeAll();
            m_wake.wait(&m_mutex);
            continue;
        }
        m_idle = false;
        std::unique_ptr<PageProcessingRequest> request = std::move(m_stack.back());
        m_stack.pop_back();
        locker.unlock();
        request->execute();
        request.reset();
        locker.relock();
    }
    m_idle = true;
    m_idleCondition.wakeAll();
}

} // namespace Backend
