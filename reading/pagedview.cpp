#include "pagedview.h"

PagedView::PagedView(QWidget *parent)
    : Base::View(parent)
{ }
