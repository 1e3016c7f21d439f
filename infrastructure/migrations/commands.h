#pragma once

#include "command.h"

#include <QHash>

// The migration catalogue. The class names are the versions recorded in schema_versions: never
// rename, reorder or insert before an existing command.
namespace Nod::Infrastructure {

class M20170111_2100_createDocuments final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20170111_2142_createAnnotations final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20170226_0347_createMarkers final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20170714_1500_ModifyDocuments final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20170725_1000_ModifyDocuments final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20180114 final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M201709231700_CreateCategories final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20171105 final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20171217_1800_ModifyDocuments final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20180418_ModifyDocuments final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20180524_0613 final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20180619_ModifyCategory final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20181115_AlterDocument final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;
};

class M20190102_UnifyId final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;

private:
    bool createIdSource();
    bool migrateCategory();
    bool migrateAnnotation();
    bool createMindNode();

    QHash<int, int> m_categoryIds; // old category id -> new id, while the tree is copied
};

class M20190731_CreateTag final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override;

    static QString plainNoteToHtml(const QString &note);

private:
    bool createTag();
    bool createResource();
    bool alterAnnotation();
    bool updateNote();
    bool migrateNodes();
};

} // namespace Nod::Infrastructure
