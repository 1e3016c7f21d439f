// Times the library tab over a library of 10,000 documents in 100 categories: building and showing
// it, sorting by each column, a title search and a category filter; and, when the program has been
// built, the time from starting it to its main window being shown over such a library.
// Prints one "name: value unit" line per figure.

#include <application/serviceregistry.h>
#include <application/tagservice.h>
#include <domain/metatypes.h>
#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/tagrepository.h>
#include <infrastructure/transaction.h>
#include <library/documentmodel.h>
#include <library/filteredshelfmodel.h>
#include <library/librarywidget.h>
#include <library/shelfview.h>
#include <library/tagtreemodel.h>
#include <library/tagtreeview.h>

#include <bench/benchsupport.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Nod::Infrastructure;
using Nod::Domain::Annotation;
using Nod::Domain::Document;
using Nod::Domain::Tag;
using Nod::Presentation::LibraryWidget;

using Bench::median;
using Bench::print;

namespace {

constexpr int Documents = 10000;
constexpr int Categories = 100;
constexpr int Rounds = 7;

double elapsedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

bool openLibrary(const QString &path)
{
    Database database;
    if (!database.open(path)) {
        return false;
    }
    Migrator migrator;
    return migrator.migrate();
}

// 10,000 documents with 0 to 9 annotations each below their document note, each document in one
// or two of 100 categories. Written straight through the repositories in one transaction.
void fill()
{
    DocumentRepository documents;
    AnnotationRepository annotations;
    TagRepository categories(QStringLiteral("Category"));
    Transaction transaction;
    std::vector<QSet<int>> members(Categories);
    const QDateTime start = QDateTime::currentDateTime().addDays(-Documents);
    for (int i = 0; i < Documents; ++i) {
        // Titles in an order unrelated to the ids, so that sorting has work to do.
        const int scrambled = int((quint64(i) * 7919) % Documents);
        Document document(
            documents.nextId(), QStringLiteral("Document %1 on topic %2").arg(scrambled).arg(i % 37));
        document.setLocalUrl(QStringLiteral("/library/folder-%1/document-%2.pdf").arg(i % 50).arg(i));
        document.setHash(QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')));
        document.setAddedAt(start.addSecs(qint64(scrambled) * 86));
        if (i % 3 == 0) {
            document.setLastReadedAt(start.addSecs(qint64((i * 31) % Documents) * 97));
        }
        documents.insert(document);
        Annotation root(annotations.nextId(), document.id(), 0);
        QVector<int> children;
        for (int k = 0; k < i % 10; ++k) {
            Annotation node(annotations.nextId(), document.id(), k, QPointF(72, 100 + k), root.id());
            node.setCanvas(Nod::Domain::Marker(QRectF(60, 100 + k * 20, 200, 20)));
            annotations.insert(node);
            children.append(node.id());
        }
        root.setChildren(children);
        annotations.insert(root);
        members[i % Categories].insert(document.id());
        if (i % 7 == 0) {
            members[(i / 7) % Categories].insert(document.id());
        }
    }
    for (int c = 0; c < Categories; ++c) {
        Tag tag(categories.nextId(), QStringLiteral("Category %1").arg(c), 0);
        tag.setItems(members[c]);
        categories.insert(tag);
    }
    transaction.commit();
}

void settle() { QCoreApplication::processEvents(); }

void timeLibraryTab(Nod::Application::ServiceRegistry &registry)
{
    LibraryWidget *library = nullptr;
    print("library_show_ms", elapsedMs([&] {
        library = new LibraryWidget;
        library->setServices(registry.categoryService(), registry.documentService(), registry.noteService());
        library->resize(1280, 800);
        library->show();
        settle();
        library->grab(); // one full paint of what the user sees first
    }),
        "ms");

    static const char *const sortNames[] = { "sort_title_ms", "sort_annotation_count_ms",
        "sort_categories_ms", "sort_added_at_ms", "sort_last_readed_at_ms", "sort_file_path_ms" };
    QHeaderView *header = library->shelfView()->horizontalHeader();
    for (int column = 0; column < Nod::Presentation::DocumentModel::ColumnCount; ++column) {
        std::vector<double> times;
        for (int round = 0; round < Rounds; ++round) {
            const Qt::SortOrder order = round % 2 ? Qt::DescendingOrder : Qt::AscendingOrder;
            times.push_back(elapsedMs([&] {
                header->setSortIndicator(column, order);
                settle();
            }));
        }
        print(sortNames[column], median(times), "ms");
    }
    header->setSortIndicator(0, Qt::AscendingOrder);
    settle();

    std::vector<double> search;
    std::vector<double> clearSearch;
    const QStringList words { QStringLiteral("document 12"), QStringLiteral("TOPIC 3"),
        QStringLiteral("99") };
    for (int round = 0; round < Rounds; ++round) {
        search.push_back(elapsedMs([&] {
            library->searchLine()->setText(words.at(round % words.size()));
            settle();
        }));
        clearSearch.push_back(elapsedMs([&] {
            library->searchLine()->clear();
            settle();
        }));
    }
    print("search_ms", median(search), "ms");
    print("search_clear_ms", median(clearSearch), "ms");

    std::vector<double> filter;
    std::vector<double> clearFilter;
    const QVector<Tag> tags = registry.categoryService()->tags();
    for (int round = 0; round < Rounds; ++round) {
        const QModelIndex category
            = library->tagTreeModel()->indexOfTag(tags.at(round * 13 % tags.size()).id());
        filter.push_back(elapsedMs([&] {
            library->tagTreeView()->setCurrentIndex(category);
            settle();
        }));
        clearFilter.push_back(elapsedMs([&] {
            library->tagTreeView()->setCurrentIndex(library->tagTreeModel()->libraryIndex());
            settle();
        }));
    }
    print("filter_category_ms", median(filter), "ms");
    print("filter_clear_ms", median(clearFilter), "ms");
    delete library;
}

// Starts the program over a prepared home and waits for its log to say the main window is shown.
void timeStartToShown(const QString &databaseFile)
{
    const QString program = QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader");
    if (!QFileInfo::exists(program)) {
        std::fprintf(stderr, "start_to_shown_ms skipped: %s not built\n", qPrintable(program));
        return;
    }
    QTemporaryDir home;
    const QString storage = home.filePath(QStringLiteral("Documents/Nodera Reader"));
    QDir().mkpath(storage);
    QDir().mkpath(home.filePath(QStringLiteral(".config")));
    QDir().mkpath(home.filePath(QStringLiteral("run")));
    QFile::setPermissions(home.filePath(QStringLiteral("run")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!QFile::copy(databaseFile, storage + QStringLiteral("/database"))) {
        std::fprintf(stderr, "start_to_shown_ms skipped: cannot prepare the storage folder\n");
        return;
    }
    const QString log = storage
        + QStringLiteral("/Logs/AppLog %1.txt")
              .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), home.filePath(QStringLiteral("Documents")));
    // Its own temporary folder keeps its single-instance socket apart from any running copy.
    environment.insert(QStringLiteral("TMPDIR"), home.path());
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, QStringList());
    bool shown = false;
    while (!shown && timer.elapsed() < 30000 && process.state() != QProcess::NotRunning) {
        QFile file(log);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains("Main window shown")) {
            shown = true;
            break;
        }
        QThread::msleep(2);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    if (shown) {
        print("start_to_shown_ms", ms, "ms");
    } else {
        std::fprintf(
            stderr, "start_to_shown_ms skipped: no \"Main window shown\" line in %s\n", qPrintable(log));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The library's own log lines (one per service call) are not what is measured.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    Nod::Domain::registerMetaTypes();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database"));
    if (!openLibrary(path)) {
        std::fprintf(stderr, "cannot open the database\n");
        return 1;
    }
    QElapsedTimer fillTimer;
    fillTimer.start();
    fill();
    print("fill_documents_s", fillTimer.nsecsElapsed() / 1e9, "s");
    {
        Nod::Application::ServiceRegistry registry;
        timeLibraryTab(registry);
    }
    Database::close();
    timeStartToShown(path);
    return 0;
}
