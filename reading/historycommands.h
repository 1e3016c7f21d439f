#pragma once

#include <backend/pdfdestination.h>

#include <QUndoCommand>

class PDFDocumentView;

// The browsing history of the reading view. Each command moves the view; undo moves it back.
// A command holds the view, which owns the history stack and so outlives it.

class PageCommand final : public QUndoCommand
{
public:
    PageCommand(PDFDocumentView *view, int fromPage, int toPage);
    void undo() override;
    void redo() override;
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    PDFDocumentView *m_view;
    int m_fromPage;
    int m_toPage;
};

class ScrollBarValueCommand final : public QUndoCommand
{
public:
    ScrollBarValueCommand(PDFDocumentView *view, int oldValue, int newValue);
    void undo() override;
    void redo() override;
    int id() const override { return 2; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    PDFDocumentView *m_view;
    int m_oldValue;
    int m_newValue;
};

class DestinationCommand final : public QUndoCommand
{
public:
    DestinationCommand(PDFDocumentView *view, const PDFDestination &from, const PDFDestination &to);
    void undo() override;
    void redo() override;

private:
    PDFDocumentView *m_view;
    PDFDestination m_from;
    PDFDestination m_to;
};
