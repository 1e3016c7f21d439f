#include "pageprocessingrequest.h"

#include <backend/page.h>
#include <backend/pdfpageevents.h>

#include <QCoreApplication>
#include <QEvent>

namespace Backend {

namespace {

// An answer on its way to a listener that may be gone by the time it arrives.
class DispatchEvent final : public QEvent
{
public:
    DispatchEvent(QPointer<QObject> listener, std::unique_ptr<QEvent> answer)
        : QEvent(eventType())
        , m_listener(std::move(listener))
        , m_answer(std::move(answer))
    { }

    static QEvent::Type eventType()
    {
        static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    QObject *listener() const { return m_listener.data(); }
    QEvent *answer() const { return m_answer.get(); }

private:
    QPointer<QObject> m_listener;
    std::unique_ptr<QEvent> m_answer;
};

// Lives on the interface thread for the life of the process. A guarded pointer is only safe to
// read on the thread that deletes its object, so the check whether a listener still exists is made
// here, where listeners are deleted, and the answer handed over in the same step.
class AnswerDispatcher final : public QObject
{
public:
    static AnswerDispatcher *instance()
    {
        static AnswerDispatcher *const dispatcher = [] {
            // Never deleted: a worker may answer until its document ends, whenever that is.
            auto *created = new AnswerDispatcher;
            if (QCoreApplication *application = QCoreApplication::instance()) {
                created->moveToThread(application->thread());
            }
            return created;
        }();
        return dispatcher;
    }

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != DispatchEvent::eventType()) {
            return;
        }
        const auto *dispatch = static_cast<DispatchEvent *>(event);
        if (QObject *listener = dispatch->listener()) {
            QCoreApplication::sendEvent(listener, dispatch->answer());
        }
    }
};

} // namespace

PageProcessingRequest::PageProcessingRequest(const QSharedPointer<Page> &page, QObject *listener)
    : m_page(page)
    , m_listener(listener)
{ }

bool PageProcessingRequest::isEqual(const PageProcessingRequest &other) const
{
    return type() == other.type() && m_page == other.m_page;
}

void PageProcessingRequest::post(std::unique_ptr<QEvent> answer)
{
    // Moving the guard hands it over without reading it.
    QCoreApplication::postEvent(
        AnswerDispatcher::instance(), new DispatchEvent(std::move(m_listener), std::move(answer)));
}

PageProcessingRenderPageRequest::PageProcessingRenderPageRequest(const QSharedPointer<Page> &page,
    QObject *listener, double xres, double yres, const QRect &renderBox, bool cache,
    const RenderParam &colors)
    : PageProcessingRequest(page, listener)
    , m_xres(xres)
    , m_yres(yres)
    , m_renderBox(renderBox)
    , m_cache(cache)
    , m_colors(colors)
{ }

bool PageProcessingRenderPageRequest::execute()
{
    QImage image = page()->renderImage(m_xres, m_yres, m_renderBox, m_cache);
    if (!image.isNull() && m_colors.treatsColors()) {
        m_colors.applyColorTreatment(
            image, [] { return false; }, page()->keptRects(m_colors, m_xres, m_yres, m_renderBox));
    }
    post(std::make_unique<PDFPageRenderedEvent>(m_xres, m_yres, m_renderBox, image));
    return !image.isNull();
}

bool PageProcessingRenderPageRequest::isEqual(const PageProcessingRequest &other) const
{
    if (!PageProcessingRequest::isEqual(other)) {
        return false;
    }
    const auto &render = static_cast<const PageProcessingRenderPageRequest &>(other);
    return m_xres == render.m_xres && m_yres == render.m_yres && m_renderBox == render.m_renderBox
        && m_cache == render.m_cache && m_colors.flags() == render.m_colors.flags()
        && m_colors.color() == render.m_colors.color()
        && m_colors.keepPictures() == render.m_colors.keepPictures();
}

bool PageProcessingLoadLinksRequest::execute()
{
    post(std::make_unique<PDFLinksLoadedEvent>(page()->loadLinks()));
    return true;
}

} // namespace Backend
