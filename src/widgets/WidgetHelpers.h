#pragma once

class QAbstractItemView;
class QCoreApplication;
class QWidget;

// Selects the whole text of an input control (start 0, length = text
// length); also gives it the focus unless withoutFocus is set.
void SelectAllText(QWidget* control, bool withoutFocus);

// Ends a cell edit in progress in the view, so that its text reaches the
// model (moving the current cell commits an open editor).
void CommitOpenEditor(QAbstractItemView* view);

// Gives the rows of a list a few pixels above and below their text, so that
// the dots of capital umlauts ("Ü", "Ö") are never cut off.
void SetListRowHeight(QAbstractItemView* list);

// Makes Qt's own texts German (file dialogs, standard buttons, the context
// menus of text boxes) with Qt's German translations, and German the
// default number format. False when the translations are not installed.
bool InstallGermanTranslations(QCoreApplication& app);
