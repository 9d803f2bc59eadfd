#pragma once

#include <QByteArray>
#include <QString>

// How the positions grid compares German texts: ignoring case for the
// filter and find, in German order for the sort.

// Folds UTF-8 for a comparison that ignores case: A-Z and the Latin-1
// capitals (À to Þ) become small letters.
void FoldCase(QByteArray& utf8);

// The key a text sorts by in German order: small letters, "ä", "ö", "ü" as
// "a", "o", "u", "ß" as "ss", other accented letters as their base letter.
QString GermanSortKey(const QString& text);
