#pragma once

#include <backend/document.h>

#include <QSharedPointer>

struct fz_document;

namespace Backend::MuPDF {

class Context;

// A PDF or EPUB file opened through MuPDF.
class Document final : public Backend::Document
{
public:
    enum LockState { Locked = 0, Unlocked = 1, NoPassword = 2 };

    // A password given here is tried as one accepted by unlock.
    explicit Document(const QString &fileName, size_t memoryCeiling = 0, const QString &password = QString());
    ~Document() override;

    bool isValid() const override;
    bool isLocked() const override;
    bool reload() override;
    std::function<QSharedPointer<Backend::Document>()> reopener() const override;
    bool adopt(Backend::Document &copy) override;
    bool unlock(const QString &password) override;
    QList<PDFToCItem> toc() const override;
    QVector<QSizeF> pageSizes() override;

    int lockState() const;
    // What the library picks the file's format by: its name when the suffix names a format it
    // reads, else the kind its first bytes show (a file kept under another name); empty for
    // neither. Any thread.
    static QByteArray formatMagic(const QString &fileName);
    QSharedPointer<Context> context() const { return m_context; }
    // The library document; only under the document lock and the context's mutex.
    fz_document *libraryDocument() const { return m_document; }

protected:
    QSharedPointer<Backend::Page> createPage(int index) override;

private:
    void closeLibraryDocument();

    QSharedPointer<Context> m_context;
    fz_document *m_document = nullptr; // owned, a reference of the library's
    QString m_password;
    int m_lockState = NoPassword;
    // Page sizes read in bulk, so that pages made later need not ask the library; guarded by
    // m_pagesMutex.
    QVector<QSizeF> m_knownSizes;
};

} // namespace Backend::MuPDF
