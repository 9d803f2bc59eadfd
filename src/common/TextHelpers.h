#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

// Text helpers shared by every part of the program. All are pure functions of
// their arguments except Pause, which waits and processes pending events.

// The n-th field (1-based) of text split at delimiter (one or more
// characters). The default when that field is empty or missing; "" when the
// text itself is empty.
QString Piece(const QString& text, const QString& delimiter, int n,
              const QString& defaultText = QString());

// Number of delimiter characters in text, plus 1 unless text ends with the
// delimiter; 0 for an empty text.
int PieceCount(const QString& text, QChar delimiter);

// Single-precision number of a value with the decimal-comma rule: keeps
// digits, signs and commas (a point counts as a comma) and converts; 0 when
// the value is empty or does not convert. "12.5" and "12,5" give 12.5,
// "EUR 7" gives 7, "1.234,5" gives 0.
float ToNumber(const QString& value);
float ToNumber(double value);

// Every occurrence of search replaced. Unless multiCharacter is set, only the
// first character of search and of replacement is used.
QString ReplaceText(const QString& text, const QString& search, const QString& replacement,
                    bool multiCharacter = false);

// The ERP keeps its texts in a 7-bit national variant in which "{", "|",
// "}", "~", "[", "\\" and "]" stand for umlauts and "ß": such a character
// typed by a buyer would be stored as an umlaut. The first of them in the
// text; a null QChar when there is none.
QChar FirstUnstorableChar(const QString& text);
// "Das Zeichen | kann im ERP nicht gespeichert werden"
QString UnstorableCharMessage(QChar c);

// Converts German letters for and from the ERP's 7-bit storage. Modes:
// "RTF", "VELTARSUCHE", "VELTAR", "VELTARSZ", "GUIVELTAR"; any other mode
// only upper-cases when asked.
QString ConvertText(const QString& text, const QString& mode, bool toUpper);

// Each character's Windows-1252 code XOR 3. Its own inverse.
QString ScrambleText(const QString& text);

// UTF-8 as text, every character kept. QString::fromUtf8 drops a byte order
// mark (U+FEFF) at the start of the bytes; here it is a character like any
// other, so that a text reads back as it was written. Invalid sequences
// become U+FFFD as with QString::fromUtf8.
QString FromUtf8(QByteArrayView utf8);

// Windows-1252 conversion, byte for byte. Bytes that the code page leaves
// undefined map to the control characters of the same number, so every byte
// survives a round trip. Characters outside the code page become '?'.
QString FromWindows1252(const QByteArray& bytes);
QByteArray ToWindows1252(const QString& text);
QString FromWindows1252(char byte);
int ToWindows1252(QChar c); // -1 when the character is not in the code page

// Waits hundredths of a second while the user interface stays responsive and
// returns the elapsed whole seconds. Never waits longer than asked.
int Pause(int hundredths);

// Replaces what Pause does (tests never really wait). An empty function
// restores the real wait. Returns the previous replacement.
using PauseFunction = std::function<int(int hundredths)>;
PauseFunction SetPauseFunction(PauseFunction f);
