#include "programstorage.h"

#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/serviceregistry.h>
#include <domain/metatypes.h>
#include <infrastructure/database.h>

#include <QFile>
#include <QStandardPaths>

using Common::Infrastructure::House;
using Common::Infrastructure::Settings;

ProgramStorage::ProgramStorage()
{
    Nod::Domain::registerMetaTypes();
    QStandardPaths::setTestModeEnabled(true);
    Nod::Infrastructure::Database database;
    m_valid = m_dir.isValid() && House::instance()->setLocation(m_dir.path())
        && database.open(House::instance()->databasePath());
}

ProgramStorage::~ProgramStorage()
{
    delete Nod::Application::ServiceRegistry::instance();
    Nod::Infrastructure::Database::close();
    delete Settings::instance();
    QFile::remove(Settings::filePath());
}
