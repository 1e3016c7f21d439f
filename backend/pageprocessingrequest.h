#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSharedPointer>

namespace Backend {

class Page;

// One job for a document's page-processing thread; its answer is posted to the listener.
class PageProcessingRequest : public QObject
{
    Q_OBJECT

public:
    enum RequestType { Render = 0, LoadLinks = 1 };

    PageProcessingRequest(const QSharedPointer<Page> &page, QObject *listener);

    // Runs on the processing thread.
    virtual bool execute() = 0;
    virtual int type() const = 0;
    virtual bool isEqual(const PageProcessingRequest &other) const;

    QSharedPointer<Page> page() const { return m_page; }
    QObject *listener() const { return m_listener.data(); }

protected:
    void post(QEvent *event) const;

private:
    QSharedPointer<Page> m_page;
    QPointer<QObject> m_listener;
};

class PageProcessingRenderPageRequest final : public PageProcessingRequest
{
    Q_OBJECT

public:
    PageProcessingRenderPageRequest(const QSharedPointer<Page> &page, QObject *listener, double xres,
        double yres, const QRect &renderBox, bool cache);

    bool execute() override;
    int type() const override { return Render; }
    bool isEqual(const PageProcessingRequest &other) const override;

private:
    double m_xres;
    double m_yres;
    QRect m_renderBox;
    bool m_cache;
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
