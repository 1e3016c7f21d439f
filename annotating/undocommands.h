#pragma once

#include <application/noteservice.h>
#include <domain/marker.h>
#include <domain/resource.h>

#include <QUndoCommand>
#include <QVector>

#include <memory>
#include <vector>

class QUndoStack;

namespace Nod::Application {
class ResourceService;
}

namespace Nod::Presentation {

// A change of annotations that undoes and redoes through the note service. Commands hold ids and
// values, never items: the scenes follow the service's signals. A service refusal or error is
// logged; a command whose first application fails is dropped instead of recorded (see push()).
class AnnotationCommand : public QUndoCommand
{
public:
    explicit AnnotationCommand(Application::NoteService *service, QUndoCommand *parent = nullptr);

    void redo() final;
    void undo() final;

    // Applies the command and, when that worked, records it on the stack without applying it again.
    // A failed command is logged and deleted, and nothing is recorded. Returns whether it was recorded;
    // the command is owned by the stack or gone either way.
    static bool push(QUndoStack *stack, AnnotationCommand *command);

    // False (logged) when the change could not be made; nothing is left half done.
    bool apply();
    bool revert();

protected:
    virtual void doApply() = 0;
    virtual void doRevert() = 0;
    // Throws std::runtime_error with `what` when a service change returned false.
    static void require(bool ok, const char *what);

    Application::NoteService *m_service; // not owned

private:
    bool run(bool forward);
    bool m_skipRedo = false;
};

class CreateAnnotationCommand final : public AnnotationCommand
{
public:
    CreateAnnotationCommand(Application::NoteService *service, const Application::NewAnnotation &record,
        Application::ResourceService *resources = nullptr);

    const Application::NewAnnotation &record() const { return m_record; }

protected:
    void doApply() override;
    void doRevert() override;

private:
    Application::NewAnnotation m_record;
    Application::ResourceService *m_resources; // not owned
    QVector<Domain::Resource> m_images; // the note's images when the creation was last undone
};

class RemoveAnnotationCommand final : public AnnotationCommand
{
public:
    RemoveAnnotationCommand(Application::NoteService *service, const Application::NewAnnotation &record,
        Application::ResourceService *resources = nullptr);

protected:
    void doApply() override;
    void doRevert() override;

private:
    Application::NewAnnotation m_record;
    Application::ResourceService *m_resources; // not owned
    QVector<Domain::Resource> m_images; // the note's images when it was last removed
};

class MoveNodeCommand final : public AnnotationCommand
{
public:
    MoveNodeCommand(Application::NoteService *service, const Application::MoveRequest &request);

protected:
    void doApply() override;
    void doRevert() override;

private:
    Application::MoveRequest m_request;
};

class InsertMarkerCommand final : public AnnotationCommand
{
public:
    InsertMarkerCommand(Application::NoteService *service, int id, int index, const Domain::Marker &marker);

protected:
    void doApply() override;
    void doRevert() override;

private:
    int m_id;
    int m_index;
    Domain::Marker m_marker;
};

class RemoveMarkerCommand final : public AnnotationCommand
{
public:
    RemoveMarkerCommand(Application::NoteService *service, int id, int index, const Domain::Marker &marker);

protected:
    void doApply() override;
    void doRevert() override;

private:
    int m_id;
    int m_index;
    Domain::Marker m_marker;
};

class ReplaceMarkerCommand final : public AnnotationCommand
{
public:
    ReplaceMarkerCommand(Application::NoteService *service, int id, int index,
        const Domain::Marker &newMarker, const Domain::Marker &oldMarker);

protected:
    void doApply() override;
    void doRevert() override;

private:
    int m_id;
    int m_index;
    Domain::Marker m_new;
    Domain::Marker m_old;
};

class ChangeCanvasCommand final : public AnnotationCommand
{
public:
    ChangeCanvasCommand(Application::NoteService *service, int id, const Domain::Marker &newCanvas,
        const Domain::Marker &oldCanvas);

protected:
    void doApply() override;
    void doRevert() override;

private:
    int m_id;
    Domain::Marker m_new;
    Domain::Marker m_old;
};

class ChangeNoteCommand final : public AnnotationCommand
{
public:
    // Changes stored within one editing session (`session` not 0) of a note merge into one step.
    ChangeNoteCommand(Application::NoteService *service, int id, const QString &newText,
        const QString &oldText, quint64 session = 0);

    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void doApply() override;
    void doRevert() override;

private:
    int m_id;
    QString m_new;
    QString m_old;
    quint64 m_session;
};

// Several commands as one undo step, applied in order and reverted in reverse, all in one
// transaction: when one fails, the step is rolled back whole.
class MacroCommand final : public AnnotationCommand
{
public:
    MacroCommand(Application::NoteService *service, const QString &text);
    ~MacroCommand() override;

    void append(AnnotationCommand *command);
    int size() const { return int(m_commands.size()); }

protected:
    void doApply() override;
    void doRevert() override;

private:
    std::vector<std::unique_ptr<AnnotationCommand>> m_commands;
};

// The record that re-creates the node as it is stored now; its index is its place among its parent's
// children (-1 when absent).
Application::NewAnnotation recordOf(Application::NoteService *service, const Domain::Annotation &annotation);

// The removal of a node as one step: its children move, in order, to the end of the document note's
// children, then the node goes. Null when the node does not exist or is a document note.
MacroCommand *makeRemoveNodeCommand(
    Application::NoteService *service, int annotationId, Application::ResourceService *resources = nullptr);

} // namespace Nod::Presentation
