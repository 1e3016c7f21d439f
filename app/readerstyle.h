#pragma once

#include <QProxyStyle>

namespace Nod::App {

// The platform's style, with the program's own icons for a tool bar's overflow button and a search
// field's clear button. Every tool bar makes that button, hidden until the bar is too narrow, and
// every search field its clear button, hidden while it is empty; the stock icons are looked up in
// the desktop's icon theme and then read from several image files, which loads the image format
// plugins: for the first window that cost more than the rest of its bars, before its first page.
class ReaderStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    ReaderStyle() = default;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
};

} // namespace Nod::App
