#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

namespace Common::Infrastructure {

// The application log: one text file a day in the storage folder's Logs room, fed by a
// process-wide Qt message handler. Any thread may log; each line is appended whole.
class AppLog final
{
public:
    // "AppLog yyyy-MM-dd.txt" for the given day.
    static QString fileNameFor(const QDate &date);

    // Points the handler at `filePath`, sets the minimum level to Warning (so debug lines are
    // dropped) and installs the handler.
    static void install(const QString &filePath);
    // Restores Qt's default output; lines are no longer written to a file.
    static void uninstall();

    static QString filePath();
    static QString levelLabel(QtMsgType type);

    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
};

} // namespace Common::Infrastructure
