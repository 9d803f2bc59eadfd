#pragma once

#include "base/PositionDownload.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class Connection;
class PosClass;

// The EAN/price match import: a file of ERP articles with their EANs
// ("*.csv", line 1 a header, fields separated by "\"), shown next to the
// description of the current download's position that carries each EAN, and
// sent to the ERP ("SetEan") so that the ERP article gets the EAN and the
// download's positions with it get the article.

struct EanMatchRow {
    QString articleNumber;       // field 1
    QString description;         // field 2: the ERP's description
    QString ean;                 // field 7
    QString positionDescription; // of the download's position with the EAN
};

// The list liart.
class EanMatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ArtNr, BezeichnungVeltar, Ean, BezeichnungQuendra, ColumnCount };

    explicit EanMatchModel(QObject* parent = nullptr);

    void setRows(QList<EanMatchRow> rows);
    const QList<EanMatchRow>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<EanMatchRow> m_rows;
};

// The description of the download's position with the EAN (geteanbez),
// inside a server call bracket; empty for an empty EAN, without asking the
// server. Throws the server's error.
QString EanDescription(PosClass& positions, const QString& downloadKey, const QString& ean);

// The folder the file dialog starts in ("Quendrapr"/"RetourPrm"/"Pfad"),
// and storing the folder of a chosen file there.
QString EanMatchFolder();
void StoreEanMatchFolder(const QString& path);

// Whether a line (after the header) can be one of a match file: text
// without control characters whose fields are separated by "\" (an empty
// line is taken as an empty row).
bool IsMatchFileLine(const QString& line);
// "Datei ist keine EAN/Preismatch-Datei (Zeile N)"
QString NoMatchFileMessage(int line);

// Reads a match file: every line after the first, with the description of
// each EAN. False with "Datei nicht vorhanden" when there is no such file,
// "Datei kann nicht gelesen werden" when it cannot be read, and after a
// failed description call (reported; reading stops there).
bool ReadEanMatchFile(Connection& connection, const QString& path, const QString& downloadKey,
                      QList<EanMatchRow>* rows);

// "Verbuchen": SetEan for every row with an EAN, in one server call
// bracket, with the busy pointer. A row the server refuses is left and the others go on; the
// refused rows are listed in one message at the end ("Nicht gespeichert:").
// False when a row was refused or the connection failed (reported; the
// rows before are stored).
bool PostEanMatch(Connection& connection, const QList<EanMatchRow>& rows,
                  const PositionDownload& download);
