#pragma once

#include <reading/baseview.h>

// A view of a paged scene; the base of the reading view and the summary view.
class PagedView : public Base::View
{
    Q_OBJECT

public:
    explicit PagedView(QWidget *parent = nullptr);
};
