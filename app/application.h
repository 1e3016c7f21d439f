#pragma once

#include <QApplication>

namespace Nod::App {

// The application object. An error that escapes an event handler or a slot (a failed database
// statement while the disk is full, say) is logged and reported to the user instead of ending the
// program with everything unsaved.
class Application final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

signals:
    // Emitted with the error's text each time one was caught.
    void errorCaught(const QString &what);

private:
    void report(const QString &what);

    bool m_reporting = false;
};

} // namespace Nod::App
