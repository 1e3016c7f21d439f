#pragma once

#include <domain/backgroundmode.h>

#include <QMainWindow>

namespace Nod::Presentation {

// The program's only top-level window. Its constructor finishes the start-up that needs the
// database (schema upgrade, table check, services) before it builds its widgets.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The reading background, chosen from the main menu and kept across runs.
    static Nod::Domain::BackgroundMode backgroundMode();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void applyStyleSheet();
};

} // namespace Nod::Presentation
