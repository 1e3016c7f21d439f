#include "undocommands.h"

#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <infrastructure/transaction.h>

#include <QDebug>
#include <QUndoStack>

#include <stdexcept>

namespace Nod::Presentation {

using Application::MoveRequest;
using Application::NewAnnotation;
using Application::RemoveRequest;
using Infrastructure::Transaction;

namespace {

Application::ResourceService *resourceServiceOr(Application::ResourceService *given)
{
    if (given) {
        return given;
    }
    Application::ServiceRegistry *registry = Application::ServiceRegistry::instance();
    return registry ? registry->resourceService() : nullptr;
}

// Removes the node the record describes, refusing when another node stands at its place.
void removeRecorded(Application::NoteService *service, const NewAnnotation &record)
{
    const Domain::Annotation parent = service->annotation(record.parentId);
    if (record.index < 0 || record.index >= parent.children().size()
        || parent.children().at(record.index) != record.id) {
        throw std::runtime_error("node not at its recorded place");
    }
    service->handle(RemoveRequest { record.index, record.parentId });
}

} // namespace

AnnotationCommand::AnnotationCommand(Application::NoteService *service, QUndoCommand *parent)
    : QUndoCommand(parent)
    , m_service(service)
{ }

void AnnotationCommand::require(bool ok, const char *what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

bool AnnotationCommand::run(bool forward)
{
    try {
        // One unit: a step that fails half way leaves the rows as they were and announces nothing.
        Transaction transaction;
        if (forward) {
            doApply();
        } else {
            doRevert();
        }
        transaction.commit();
        return true;
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::AnnotationCommand" << (forward ? "redo" : "undo")
                   << "failed:" << error.what();
    }
    return false;
}

bool AnnotationCommand::apply() { return run(true); }
bool AnnotationCommand::revert() { return run(false); }

void AnnotationCommand::redo()
{
    if (m_skipRedo) {
        m_skipRedo = false;
        return;
    }
    run(true);
}

void AnnotationCommand::undo() { run(false); }

bool AnnotationCommand::push(QUndoStack *stack, AnnotationCommand *command)
{
    if (!command) {
        return false;
    }
    if (!stack || !command->apply()) {
        qWarning() << "Nod::Presentation::AnnotationCommand::push: the change was not made, nothing recorded";
        delete command;
        return false;
    }
    command->m_skipRedo = true;
    stack->push(command);
    return true;
}

CreateAnnotationCommand::CreateAnnotationCommand(
    Application::NoteService *service, const NewAnnotation &record, Application::ResourceService *resources)
    : AnnotationCommand(service)
    , m_record(record)
    , m_resources(resourceServiceOr(resources))
{ }

void CreateAnnotationCommand::doApply()
{
    qDebug() << "Nod::Presentation::CreateAnnotationCommand::redo";
    m_service->newAnnotation(m_record);
    for (const Domain::Resource &image : qAsConst(m_images)) {
        m_resources->restore(image);
    }
}

void CreateAnnotationCommand::doRevert()
{
    qDebug() << "Nod::Presentation::CreateAnnotationCommand::undo";
    // The note may have gained images after the creation; a redo brings them back with the text.
    m_images = m_resources ? m_resources->resources(m_record.id) : QVector<Domain::Resource>();
    const std::optional<Domain::Annotation> node = m_service->find(m_record.id);
    if (node) {
        m_record.noteText = node->noteText();
        m_record.canvas = node->canvas();
        m_record.markers = node->markers();
    }
    removeRecorded(m_service, m_record);
}

RemoveAnnotationCommand::RemoveAnnotationCommand(
    Application::NoteService *service, const NewAnnotation &record, Application::ResourceService *resources)
    : AnnotationCommand(service)
    , m_record(record)
    , m_resources(resourceServiceOr(resources))
{ }

void RemoveAnnotationCommand::doApply()
{
    qDebug() << "Nod::Presentation::RemoveAnnotationCommand::redo";
    m_images = m_resources ? m_resources->resources(m_record.id) : QVector<Domain::Resource>();
    removeRecorded(m_service, m_record);
}

void RemoveAnnotationCommand::doRevert()
{
    qDebug() << "Nod::Presentation::RemoveAnnotationCommand::undo";
    m_service->newAnnotation(m_record);
    for (const Domain::Resource &image : qAsConst(m_images)) {
        m_resources->restore(image);
    }
}

MoveNodeCommand::MoveNodeCommand(Application::NoteService *service, const MoveRequest &request)
    : AnnotationCommand(service)
    , m_request(request)
{ }

void MoveNodeCommand::doApply()
{
    qDebug() << "Nod::Presentation::MoveNodeCommand::redo";
    m_service->handle(m_request);
}

void MoveNodeCommand::doRevert()
{
    qDebug() << "Nod::Presentation::MoveNodeCommand::undo";
    m_service->handle(MoveRequest { m_request.destinationParentId, m_request.destinationIndex,
        m_request.sourceParentId, m_request.sourceIndex });
}

InsertMarkerCommand::InsertMarkerCommand(
    Application::NoteService *service, int id, int index, const Domain::Marker &marker)
    : AnnotationCommand(service)
    , m_id(id)
    , m_index(index)
    , m_marker(marker)
{ }

void InsertMarkerCommand::doApply()
{
    require(m_service->insertMarker(m_id, m_index, m_marker), "insertMarker");
}
void InsertMarkerCommand::doRevert() { require(m_service->removeMarker(m_id, m_index), "removeMarker"); }

RemoveMarkerCommand::RemoveMarkerCommand(
    Application::NoteService *service, int id, int index, const Domain::Marker &marker)
    : AnnotationCommand(service)
    , m_id(id)
    , m_index(index)
    , m_marker(marker)
{ }

void RemoveMarkerCommand::doApply() { require(m_service->removeMarker(m_id, m_index), "removeMarker"); }
void RemoveMarkerCommand::doRevert()
{
    require(m_service->insertMarker(m_id, m_index, m_marker), "insertMarker");
}

ReplaceMarkerCommand::ReplaceMarkerCommand(Application::NoteService *service, int id, int index,
    const Domain::Marker &newMarker, const Domain::Marker &oldMarker)
    : AnnotationCommand(service)
    , m_id(id)
    , m_index(index)
    , m_new(newMarker)
    , m_old(oldMarker)
{ }

void ReplaceMarkerCommand::doApply()
{
    require(m_service->replaceMarker(m_id, m_index, m_new), "replaceMarker");
}
void ReplaceMarkerCommand::doRevert()
{
    require(m_service->replaceMarker(m_id, m_index, m_old), "replaceMarker");
}

ChangeCanvasCommand::ChangeCanvasCommand(Application::NoteService *service, int id,
    const Domain::Marker &newCanvas, const Domain::Marker &oldCanvas)
    : AnnotationCommand(service)
    , m_id(id)
    , m_new(newCanvas)
    , m_old(oldCanvas)
{ }

void ChangeCanvasCommand::doApply() { require(m_service->changeCanvas(m_id, m_new), "changeCanvas"); }
void ChangeCanvasCommand::doRevert() { require(m_service->changeCanvas(m_id, m_old), "changeCanvas"); }

ChangeNoteCommand::ChangeNoteCommand(Application::NoteService *service, int id, const QString &newText,
    const QString &oldText, quint64 session)
    : AnnotationCommand(service)
    , m_id(id)
    , m_new(newText)
    , m_old(oldText)
    , m_session(session)
{ }

int ChangeNoteCommand::id() const
{
    // Only changes of one session may merge; the rest keep a step each.
    return m_session != 0 ? 1 : -1;
}

bool ChangeNoteCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const ChangeNoteCommand *>(other);
    if (!next || next->m_id != m_id || next->m_session != m_session || next->m_old != m_new) {
        return false;
    }
    m_new = next->m_new;
    return true;
}

void ChangeNoteCommand::doApply() { require(m_service->changeNote(m_id, m_new), "changeNote"); }
void ChangeNoteCommand::doRevert() { require(m_service->changeNote(m_id, m_old), "changeNote"); }

MacroCommand::MacroCommand(Application::NoteService *service, const QString &text)
    : AnnotationCommand(service)
{
    setText(text);
}

MacroCommand::~MacroCommand() = default;

void MacroCommand::append(AnnotationCommand *command) { m_commands.emplace_back(command); }

void MacroCommand::doApply()
{
    for (const std::unique_ptr<AnnotationCommand> &command : m_commands) {
        if (!command->apply()) {
            throw std::runtime_error("a step of the macro failed");
        }
    }
}

void MacroCommand::doRevert()
{
    for (auto it = m_commands.rbegin(); it != m_commands.rend(); ++it) {
        if (!(*it)->revert()) {
            throw std::runtime_error("a step of the macro failed");
        }
    }
}

NewAnnotation recordOf(Application::NoteService *service, const Domain::Annotation &annotation)
{
    NewAnnotation record;
    record.id = annotation.id();
    record.documentId = annotation.documentId();
    record.pageIndex = annotation.pageIndex();
    record.position = annotation.position();
    record.canvas = annotation.canvas();
    record.markers = annotation.markers();
    record.noteText = annotation.noteText();
    record.createdAt = annotation.createdAt();
    record.parentId = annotation.parentId();
    const std::optional<Domain::Annotation> parent = service->find(annotation.parentId());
    record.index = parent ? parent->children().indexOf(annotation.id()) : -1;
    return record;
}

MacroCommand *makeRemoveNodeCommand(
    Application::NoteService *service, int annotationId, Application::ResourceService *resources)
{
    const std::optional<Domain::Annotation> node = service->find(annotationId);
    if (!node || node->parentId() <= 0) {
        return nullptr;
    }
    const Domain::Annotation root = service->documentNote(node->documentId());
    auto *macro = new MacroCommand(service, QStringLiteral("remove ndoe"));
    const int base = root.children().size();
    for (int i = 0; i < node->children().size(); ++i) {
        macro->append(new MoveNodeCommand(service, MoveRequest { node->id(), 0, root.id(), base + i }));
    }
    const NewAnnotation record = recordOf(service, *node);
    if (record.index < 0) {
        delete macro;
        return nullptr;
    }
    macro->append(new RemoveAnnotationCommand(service, record, resources));
    return macro;
}

} // namespace Nod::Presentation
