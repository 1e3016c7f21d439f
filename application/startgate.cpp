#include "startgate.h"

#include <QPointer>
#include <QTimer>
#include <QVector>

#include <utility>

namespace Nod::Application::StartGate {

namespace {

struct Waiting
{
    QPointer<QObject> context;
    std::function<void()> work;
};

bool g_held = false;
QVector<Waiting> &waiting()
{
    static QVector<Waiting> list;
    return list;
}

} // namespace

void hold() { g_held = true; }

void open()
{
    g_held = false;
    const QVector<Waiting> list = std::exchange(waiting(), {});
    for (const Waiting &entry : list) {
        if (entry.context) {
            QTimer::singleShot(0, entry.context.data(), entry.work);
        }
    }
}

bool isOpen() { return !g_held; }

void whenOpen(QObject *context, std::function<void()> work)
{
    if (!g_held) {
        work();
        return;
    }
    waiting().append({ context, std::move(work) });
}

} // namespace Nod::Application::StartGate
