#include "helpdialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace Nod::Presentation {

HelpDialog::HelpDialog(const QString &title, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("helpDialog"));
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(tr("<b>Nodera Reader %1</b><br>Nodera Reader is a knowledge management tool "
                                  "based on reading notes. ")
                                   .arg(QCoreApplication::applicationVersion()),
        this);
    heading->setObjectName(QStringLiteral("helpHeading"));
    heading->setTextFormat(Qt::RichText);
    layout->addWidget(heading);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    // The pages only link within themselves; nothing leaves the program.
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    layout->addWidget(m_browser, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(720, 640);
}

} // namespace Nod::Presentation
