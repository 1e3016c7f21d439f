#pragma once

#include <backend/pdfdestination.h>

#include <QString>
#include <QUrl>

// What activating a link or an outline entry does.
class PDFAction
{
public:
    enum ActionType { ActionTypeGoTo = 0, ActionTypeURI = 4 };

    virtual ~PDFAction() = default;
    virtual int type() const = 0;
    // A deep copy owned by the caller.
    virtual PDFAction *clone() const = 0;

protected:
    PDFAction() = default;
    PDFAction(const PDFAction &) = default;
    PDFAction &operator=(const PDFAction &) = default;
};

class PDFGotoAction final : public PDFAction
{
public:
    PDFGotoAction() = default;
    explicit PDFGotoAction(const PDFDestination &destination);

    int type() const override { return ActionTypeGoTo; }
    PDFAction *clone() const override;

    PDFDestination destination() const { return m_destination; }
    void setDestination(const PDFDestination &destination) { m_destination = destination; }
    bool isRemote() const { return m_remote; }
    void setRemote(bool remote) { m_remote = remote; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    bool newWindow() const { return m_newWindow; }
    void setNewWindow(bool newWindow) { m_newWindow = newWindow; }

private:
    PDFDestination m_destination;
    bool m_remote = false;
    QString m_fileName;
    bool m_newWindow = false;
};

class PDFURIAction final : public PDFAction
{
public:
    PDFURIAction() = default;
    explicit PDFURIAction(const QUrl &url);

    int type() const override { return ActionTypeURI; }
    PDFAction *clone() const override;

    QUrl url() const { return m_url; }
    void setUrl(const QUrl &url) { m_url = url; }
    bool isMap() const { return m_isMap; }
    void setIsMap(bool isMap) { m_isMap = isMap; }

private:
    QUrl m_url;
    bool m_isMap = false;
};
