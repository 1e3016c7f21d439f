#pragma once

#include <backend/documentloader.h>
#include <domain/lastread.h>

#include <QStringList>

namespace Nod::App {

// The pieces of the start-up order that do not need the window: identity, log installation and
// the start-up lines. Kept apart from main() so that tests can run them.
void setApplicationIdentity();

// Before the application object: leaves out the platform parts the program never uses. The X11
// platform would otherwise load the OpenGL driver stack when the first window is made, the
// largest single cost of a start; every view here paints with the raster engine.
void preparePlatform();

// Connected to House::locationChanged: (re)installs the daily log file in the new storage folder.
void setUpLog();

// Reads the storage location from the settings and makes it current. On failure logs, tells the
// user and returns false; start-up goes on without a log file and without a database.
bool prepareStorage();

// "Nodera Reader started. VERSION: ..." and the lines after it.
void logStartupLines(const QStringList &arguments);

// The files named on a command line, as absolute paths resolved against `startDirectory` (the
// directory the program was started in: start-up later changes the current directory). Only
// existing regular files are kept; the others are logged and dropped.
QStringList commandLineFiles(const QStringList &arguments, const QString &startDirectory);

// Starts opening files (as commandLineFiles() gives them) on workers, so that reading them shares
// the start with the window; the tabs take them from there. The page the last of them (the tab in
// front) opens on is drawn there too.
void startOpeningFiles(const QStringList &files);
// The page the reading view opens a document on and the resolution it first draws it at, from
// where the document was last read: the view lays its pages out at the screen's logical resolution.
Backend::DocumentLoader::FirstPage firstPageOf(const Domain::LastRead &lastRead);

// Installs "translations/NoderaReader_<locale>.qm" beside the executable, when it exists.
void loadTranslation();

} // namespace Nod::App
