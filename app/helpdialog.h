#pragma once

#include <QDialog>

class QTextBrowser;

namespace Nod::Presentation {

// A window beside the main window that shows a page of help: the user guide shipped with the
// program, or the keys in force. It stays open while the user goes on working.
class HelpDialog final : public QDialog
{
    Q_OBJECT

public:
    // The product's name and version head every page.
    explicit HelpDialog(const QString &title, QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser = nullptr;
};

} // namespace Nod::Presentation
