#include "pdfpageprocessingthread.h"

#include <backend/pageprocessingrequest.h>

#include <QMutexLocker>

namespace Backend {

PDFPageProcessingThread::PDFPageProcessingThread(QObject *parent)
    : QThread(parent)
{ }

PDFPageProcessingThread::~PDFPageProcessingThread() { stop(); }

void PDFPageProcessingThread::addRequest(PageProcessingRequest *request)
{
    QMutexLocker locker(&m_mutex);
    if (m_quit) {
        delete request;
        return;
    }
    for (auto it = m_stack.begin(); it != m_stack.end(); ++it) {
        if ((*it)->isEqual(*request)) {
            delete *it;
            m_stack.erase(it);
            break;
        }
    }
    m_stack.push_back(request);
    if (isRunning()) {
        m_wake.wakeOne();
    } else {
        start(QThread::InheritPriority);
    }
}

void PDFPageProcessingThread::cancelRequests()
{
    QMutexLocker locker(&m_mutex);
    for (PageProcessingRequest *request : m_stack) {
        delete request;
    }
    m_stack.clear();
    while (!m_idle && isRunning()) {
        m_idleCondition.wait(&m_mutex);
    }
}

void PDFPageProcessingThread::stop()
{
    {
        QMutexLocker locker(&m_mutex);
        for (PageProcessingRequest *request : m_stack) {
            delete request;
        }
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
        PageProcessingRequest *request = m_stack.back();
        m_stack.pop_back();
        locker.unlock();
        request->execute();
        delete request;
        locker.relock();
    }
    m_idle = true;
    m_idleCondition.wakeAll();
}

} // namespace Backend
