#pragma once

#include "import/ColumnMappingModel.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

// "VELTAR Quendra Preisdaten - Spaltenzuordnung": the first rows of a price
// list with a choice above each column, the first row of prices and, for a
// workbook, the sheet. "Importieren" is offered once Best.Nr. and a price
// (Preis or Netto) have their columns.
class FMSpalten : public QDialog {
    Q_OBJECT
public:
    FMSpalten(const QString& path, bool workbook, const ColumnMapping& mapping,
              QWidget* parent = nullptr);
    ~FMSpalten() override;

    ColumnMapping mapping() const { return m_model.mapping(); }
    ColumnMappingModel& model() { return m_model; }
    void done(int result) override;

    // Asks the buyer; nullopt when the window is closed without import.
    static std::optional<ColumnMapping> choose(const QString& path, bool workbook,
                                               const ColumnMapping& mapping, QWidget* parent);

private:
    void reload(const ColumnMapping& mapping);
    void showState();

    QString m_path;
    bool m_workbook;
    ColumnMappingModel m_model;
    QTableView* table;
    QSpinBox* SPErsteZeile;
    QComboBox* CBBlatt;
    QLabel* LBLHinweis;
    QPushButton* BUImport;
    QPushButton* BUAbbruch;
};
