#pragma once

class QAbstractItemView;
class QWidget;

// Selects the whole text of an input control (start 0, length = text
// length); also gives it the focus unless withoutFocus is set.
void SelectAllText(QWidget* control, bool withoutFocus);

// Gives the rows of a list a few pixels above and below their text, so that
// the dots of capital umlauts ("Ü", "Ö") are never cut off.
void SetListRowHeight(QAbstractItemView* list);
