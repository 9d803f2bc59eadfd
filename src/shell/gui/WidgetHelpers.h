#pragma once

class QWidget;

// Selects the whole text of an input control (start 0, length = text
// length); also gives it the focus unless withoutFocus is set.
void SelectAllText(QWidget* control, bool withoutFocus);
