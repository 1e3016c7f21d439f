#pragma once

#include <backend/renderparam.h>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSharedPointer>

#include <memory>

class QEvent;

namespace Backend {

class Page;

// One job for a document's page-processing thread; its answer is posted to the listener.
//
// The listener lives on the interface thread and may be deleted at any time before its answer
// arrives. The processing thread never looks at it: answers go through a dispatcher on the
// interface thread, which checks there whether the listener still exists.
class PageProcessingRequest : public QObject
{
    Q_OBJECT

public:
    enum RequestType { Render = 0, LoadLinks = 1 };

    // On the listener's thread, with the listener alive.
    PageProcessingRequest(const QSharedPointer<Page> &page, QObject *listener);

    // Runs on the processing thread.
    virtual bool execute() = 0;
    virtual int type() const = 0;
    virtual bool isEqual(const PageProcessingRequest &other) const;

    QSharedPointer<Page> page() const { return m_page; }

protected:
    // Any thread; once per request.
    void post(std::unique_ptr<QEvent> answer);

private:
    QSharedPointer<Page> m_page;
    QPointer<QObject> m_listener; // read only on the interface thread
};

class PageProcessingRenderPageRequest final : public PageProcessingRequest
{
    Q_OBJECT

public:
    PageProcessingRenderPageRequest(const QSharedPointer<Page> &page, QObject *listener, double xres,
        double yres, const QRect &renderBox, bool cache,
        const RenderParam &colors = RenderParam::defaultParam());

    bool execute() override;
    int type() const override { return Render; }
    bool isEqual(const PageProcessingRequest &other) const override;

private:
    double m_xres;
    double m_yres;
    QRect m_renderBox;
    bool m_cache;
    RenderParam m_colors;
};

class PageProcessingLoadLinksRequest final : public PageProcessingRequest
{
    Q_OBJECT

public:
    using PageProcessingRequest::PageProcessingRequest;

    bool execute() override;
    int type() const override { return LoadLinks; }
};

} // namespace Backend
