#pragma once

#include <QString>

// Makes the database file and its companions (PATH-wal, PATH-shm,
// PATH-journal) readable and writable by their owner only: a missing
// database file is created so before SQLite opens it (SQLite gives its
// companions the database's permissions), existing ones are tightened.
// False when the database file can be neither created nor tightened.
bool OwnerOnlyDatabaseFiles(const QString& path);
