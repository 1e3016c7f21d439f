#include "overviewedit.h"

namespace Nod::Presentation {

OverviewEdit::OverviewEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("overviewEdit"));
    setPlaceholderText(tr("Click here to add overview"));
    setTabChangesFocus(true);
}

void OverviewEdit::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit editingFinished(toPlainText());
}

} // namespace Nod::Presentation
