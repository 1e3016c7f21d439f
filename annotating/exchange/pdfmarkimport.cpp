#include "pdfmarkimport.h"

#include "markconversion.h"

#include <annotating/undocommands.h>
#include <app/storage/settings.h>
#include <application/noteservice.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QSettings>

#include <algorithm>

namespace Nod::Exchange {

namespace {

QSettings store() { return QSettings(Common::Infrastructure::Settings::filePath(), QSettings::IniFormat); }

} // namespace

PdfMarkImport::PdfMarkImport(Application::NoteService *notes, int documentId, const QString &fileHash)
    : m_notes(notes)
    , m_documentId(documentId)
    , m_fileHash(fileHash)
{ }

QString PdfMarkImport::key(const QString &name) const
{
    return QStringLiteral("pdfImport/%1-%2/%3").arg(m_documentId).arg(m_fileHash, name);
}

QHash<int, int> PdfMarkImport::imported() const
{
    QHash<int, int> map;
    for (const QString &pair : store().value(key(QStringLiteral("annotations"))).toStringList()) {
        const int colon = pair.indexOf(QLatin1Char(':'));
        bool objectOk = false;
        bool idOk = false;
        const int object = pair.left(colon).toInt(&objectOk);
        const int id = pair.mid(colon + 1).toInt(&idOk);
        if (colon > 0 && objectOk && idOk) {
            map.insert(object, id);
        }
    }
    return map;
}

QVector<PdfAnnotationRecord> PdfMarkImport::pending(
    const QVector<PdfAnnotationRecord> &records, QVector<SkippedPdfAnnotation> *skipped) const
{
    const QSet<int> replaced = replacedAnnotations();
    QVector<PdfAnnotationRecord> result;
    for (const PdfAnnotationRecord &record : records) {
        if (record.objectNumber > 0 && replaced.contains(record.objectNumber)) {
            continue;
        }
        if (annotationFromPdf(record)) {
            result.append(record);
        } else if (skipped) {
            skipped->append({ record.page, record.subtype, SkippedPdfAnnotation::NoShape });
        }
    }
    return result;
}

QSet<int> PdfMarkImport::replacedAnnotations() const
{
    const QHash<int, int> done = imported();
    QSet<int> replaced;
    for (auto it = done.constBegin(); it != done.constEnd(); ++it) {
        const auto existing = m_notes->find(it.value());
        if (existing && existing->documentId() == m_documentId) {
            replaced.insert(it.key());
        }
    }
    return replaced;
}

int PdfMarkImport::import(const QVector<PdfAnnotationRecord> &records, QUndoStack *stack)
{
    QVector<PdfAnnotationRecord> ordered = pending(records);
    if (ordered.isEmpty()) {
        return 0;
    }
    std::stable_sort(
        ordered.begin(), ordered.end(), [](const PdfAnnotationRecord &a, const PdfAnnotationRecord &b) {
            if (a.page != b.page) {
                return a.page < b.page;
            }
            if (a.rect.top() != b.rect.top()) {
                return a.rect.top() < b.rect.top();
            }
            return a.rect.left() < b.rect.left();
        });
    const Domain::Annotation root = m_notes->documentNote(m_documentId);
    auto *macro = new Presentation::MacroCommand(
        m_notes, QCoreApplication::translate("Nod::Exchange::PdfMarkImport", "Import annotations"));
    QHash<int, int> made;
    const QDateTime now = QDateTime::currentDateTime();
    int index = root.children().size();
    for (const PdfAnnotationRecord &record : qAsConst(ordered)) {
        std::optional<Application::NewAnnotation> request = annotationFromPdf(record);
        const int id = m_notes->nextId();
        if (id <= 0) {
            delete macro;
            return 0;
        }
        request->id = id;
        request->documentId = m_documentId;
        request->createdAt = now;
        request->parentId = root.id();
        request->index = index++;
        macro->append(new Presentation::CreateAnnotationCommand(m_notes, *request));
        if (record.objectNumber > 0) {
            made.insert(record.objectNumber, id);
        }
    }
    const int count = macro->size();
    if (!Presentation::AnnotationCommand::push(stack, macro)) {
        return 0;
    }
    QHash<int, int> remembered = imported();
    for (auto it = made.constBegin(); it != made.constEnd(); ++it) {
        remembered.insert(it.key(), it.value());
    }
    QStringList pairs;
    for (auto it = remembered.constBegin(); it != remembered.constEnd(); ++it) {
        pairs.append(QStringLiteral("%1:%2").arg(it.key()).arg(it.value()));
    }
    QSettings settings = store();
    settings.setValue(key(QStringLiteral("annotations")), pairs);
    return count;
}

bool PdfMarkImport::wasOffered() const { return store().value(key(QStringLiteral("offered"))).toBool(); }

void PdfMarkImport::setOffered()
{
    QSettings settings = store();
    settings.setValue(key(QStringLiteral("offered")), true);
}

} // namespace Nod::Exchange
