#pragma once

#include "positions/PriceList.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QPrinter;
class QPushButton;
class QRadioButton;

// "VELTAR Quendra Preisdaten - Drucken": the price list of the download.
// The buyer chooses all or only the marked positions, the grouping and
// whether purchase prices go on it and whether the overview of the printed
// positions comes first, and sees a print preview before printing, or saves
// a PDF.
class FMDruck : public QDialog {
    Q_OBJECT
public:
    FMDruck(const PositionGridModel& grid, const PositionDownload& download,
            QWidget* parent = nullptr);
    ~FMDruck() override;

    // The choices as the window shows them.
    PriceListOptions Options() const;
    // The document of the last preview (nullptr before one).
    const PriceListDocument* Document() const { return m_document.get(); }

public Q_SLOTS:
    void BUVorschau_Click();
    void BUPdf_Click();
    // Saves the list as a PDF at path; false with the message shown.
    bool SavePdf(const QString& path);

protected:
    void done(int result) override;

private:
    const PositionGridModel& m_grid;
    PositionDownload m_download;
    std::unique_ptr<PriceListDocument> m_document;

    QRadioButton* optAlle;
    QRadioButton* optMarkiert;
    QComboBox* CBGruppe;
    QCheckBox* chEK;
    QCheckBox* chUebersicht;
    QPushButton* BUVorschau;
    QPushButton* BUPdf;
    QPushButton* BUSchliessen;
};
