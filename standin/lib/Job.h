#pragma once

#include "MInterpreter.h"
#include "StandinEngine.h"

#include <QHash>
#include <QMap>
#include <memory>

// One client connection's job: its number ($J), its local variables, and the
// objects and result sets it holds open.
class Job : public MEnvironment {
public:
    explicit Job(StandinEngine& engine);
    // Removes what the job left in the database (StandinEngine::endJob).
    ~Job() override;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    int number() const { return m_number; }
    StandinEngine& engine() { return m_engine; }

    QString jobNumber() const override { return QString::number(m_number); }
    std::optional<QString> getLocal(const QString& name, const QStringList& subscripts) override;
    void setLocal(const QString& name, const QStringList& subscripts,
                  const QString& value) override;
    std::optional<QString> getGlobal(const QString& name, const QStringList& subscripts) override;
    void setGlobal(const QString& name, const QStringList& subscripts,
                   const QString& value) override;
    int dataLocal(const QString& name, const QStringList& subscripts) override;
    int dataGlobal(const QString& name, const QStringList& subscripts) override;
    void appendLocal(const QString& name, const QStringList& subscripts,
                     const QString& tail) override;
    bool callRoutine(const QString& label, const QString& routine, const QStringList& args,
                     QString& output) override;

    // Local value or "" (for the classes that read session values).
    QString local(const QString& name) { return getLocal(name, {}).value_or(QString()); }

    QString addObject(StoredObject obj);
    StoredObject& object(const QString& ref);
    void dropObject(const QString& ref);

    QString addCursor(std::unique_ptr<QueryCursor> cursor);
    QueryCursor& cursor(const QString& ref);
    void dropCursor(const QString& ref);

    static constexpr int kMaxOpenObjects = 10000;

    // Values a class keeps for the job between calls (for example the
    // company and supplier of the download being filled).
    QHash<QString, QStringList>& cache() { return m_cache; }

    // Set when a chained request failed; cleared by a request that is not
    // chained.
    bool chainBroken = false;

private:
    StandinEngine& m_engine;
    int m_number;
    // name + 0x1E + subscript key; ordered, so that a node's descendants
    // follow it.
    QMap<QString, QString> m_locals;
    QHash<QString, StoredObject> m_objects;
    QHash<QString, std::shared_ptr<QueryCursor>> m_cursors;
    QHash<QString, QStringList> m_cache;
    int m_nextRef = 1;
};
