#pragma once

#include <QProxyStyle>

namespace Nod::App {

// The platform's style, with the program's own icon for a tool bar's overflow button. Every tool
// bar makes that button, hidden until the bar is too narrow, and the stock icon is looked up in the
// desktop's icon theme and then read from several image files: for the first tab's bars that cost
// more than the rest of the bars together, on the way to the first page.
class ReaderStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    ReaderStyle() = default;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
};

} // namespace Nod::App
