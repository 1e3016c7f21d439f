#include "pdfaction.h"

PDFGotoAction::PDFGotoAction(const PDFDestination &destination)
    : m_destination(destination)
{ }

PDFAction *PDFGotoAction::clone() const { return new PDFGotoAction(*this); }

PDFURIAction::PDFURIAction(const QUrl &url)
    : m_url(url)
{ }

PDFAction *PDFURIAction::clone() const { return new PDFURIAction(*this); }
