#pragma once

#include <QString>
#include <QStringList>

// Encodes subscripts into one key text (also used for job locals): the
// subscripts joined by U+001F, with U+001F, U+0010 and unpaired surrogates
// inside a subscript written as U+0010 and four hex digits, so that no text
// can stand for another. Subscripts without such characters read as before.
QString SubscriptKey(const QStringList& subscripts);
// Values of globals as SQLite keeps them: U+0010 and unpaired surrogates
// (which SQLite's UTF-8 cannot hold) written the same way.
QString StoredText(const QString& value);
QString TextFromStored(const QString& stored);

// The separator of the subscripts in a key: the keys of a node's
// descendants lie between its key followed by it and its key followed by
// the next code unit.
constexpr char16_t kSubscriptSeparator = 0x1F;
