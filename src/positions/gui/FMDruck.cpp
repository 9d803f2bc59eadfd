#include "FMDruck.h"

#include "base/UserInterface.h"
#include "base/WorkstationSettings.h"
#include "widgets/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMDruck");

} // namespace

FMDruck::FMDruck(const PositionGridModel& grid, const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_grid(grid), m_download(download) {
    setObjectName(QStringLiteral("FMDruck"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Drucken"));
    setModal(true);

    auto* which = new QGroupBox(QStringLiteral("Positionen"), this);
    optAlle = new QRadioButton(QStringLiteral("Alle Positionen"), which);
    optAlle->setObjectName(QStringLiteral("optAlle"));
    optMarkiert = new QRadioButton(QStringLiteral("Nur markierte Positionen"), which);
    optMarkiert->setObjectName(QStringLiteral("optMarkiert"));
    optAlle->setChecked(true);
    auto* whichLayout = new QVBoxLayout(which);
    whichLayout->addWidget(optAlle);
    whichLayout->addWidget(optMarkiert);

    CBGruppe = new QComboBox(this);
    CBGruppe->setObjectName(QStringLiteral("CBGruppe"));
    CBGruppe->addItem(QStringLiteral("nach EK-Rabattgruppe"),
                      int(PriceListOptions::Grouping::EkGroup));
    CBGruppe->addItem(QStringLiteral("nach Warengruppe"),
                      int(PriceListOptions::Grouping::GoodsGroup));
    CBGruppe->addItem(QStringLiteral("wie im Raster"), int(PriceListOptions::Grouping::GridOrder));
    chEK = new QCheckBox(QStringLiteral("mit Einkaufspreisen (Netto, Spanne)"), this);
    chEK->setObjectName(QStringLiteral("chEK"));
    chEK->setChecked(true);
    chUebersicht = new QCheckBox(QStringLiteral("Übersicht drucken"), this);
    chUebersicht->setObjectName(QStringLiteral("chUebersicht"));
    chUebersicht->setToolTip(QStringLiteral("Als erste Seite: Zahlen, Balken der „% Abw.“ und "
                                            "die größten Steigerungen und Senkungen"));
    chUebersicht->setChecked(true);

    BUVorschau = new QPushButton(QStringLiteral("Vorschau …"), this);
    BUVorschau->setObjectName(QStringLiteral("BUVorschau"));
    BUVorschau->setDefault(true);
    BUPdf = new QPushButton(QStringLiteral("PDF speichern …"), this);
    BUPdf->setObjectName(QStringLiteral("BUPdf"));
    BUSchliessen = new QPushButton(QStringLiteral("Schließen"), this);
    BUSchliessen->setObjectName(QStringLiteral("BUSchliessen"));
    connect(BUVorschau, &QPushButton::clicked, this, &FMDruck::BUVorschau_Click);
    connect(BUPdf, &QPushButton::clicked, this, &FMDruck::BUPdf_Click);
    connect(BUSchliessen, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Gruppierung:"), CBGruppe);
    form->addRow(QString(), chEK);
    form->addRow(QString(), chUebersicht);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BUVorschau);
    buttons->addWidget(BUPdf);
    buttons->addWidget(BUSchliessen);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(460, 280);
    RestoreWindowPlacement(this, kPlacementKey);
}

FMDruck::~FMDruck() = default;

PriceListOptions FMDruck::Options() const {
    PriceListOptions o;
    o.markedOnly = optMarkiert->isChecked();
    o.grouping = PriceListOptions::Grouping(CBGruppe->currentData().toInt());
    o.purchasePrices = chEK->isChecked();
    o.overview = chUebersicht->isChecked();
    return o;
}

void FMDruck::BUVorschau_Click() {
    // The document is built once per preview; the preview repaints it from
    // its layout (laid out again only for another paper or resolution).
    m_document =
        std::make_unique<PriceListDocument>(m_grid, Options(), PriceListHeading::of(m_download));
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    printer.setDocName(QStringLiteral("Preisliste ") + m_download.supplier);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("Vorschau"));
    preview.setWindowTitle(QStringLiteral("Preisliste - Vorschau"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
        if (!m_document->print(*p))
            UI().message(QStringLiteral("Drucken nicht möglich: ") + p->printerName(), QString(),
                         MessageIcon::Critical, MessageButtons::Ok);
    });
    preview.resize(900, 1000);
    preview.exec();
}

bool FMDruck::SavePdf(const QString& path) {
    QString error;
    if (!WritePriceListPdf(path, m_grid, Options(), PriceListHeading::of(m_download), &error)) {
        UI().message(error, QString(), MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    WorkstationSettings::setValue(QStringLiteral("Quendrapr"), QStringLiteral("Druck"),
                                  QStringLiteral("Pfad"), QFileInfo(path).absolutePath());
    return true;
}

void FMDruck::BUPdf_Click() {
    QString folder = WorkstationSettings::value(QStringLiteral("Quendrapr"),
                                                QStringLiteral("Druck"), QStringLiteral("Pfad"));
    // The first time: the buyer's documents folder.
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Preisliste als PDF speichern"),
        QDir(folder).filePath(QStringLiteral("Preisliste-") + m_download.supplier +
                              QStringLiteral(".pdf")),
        QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty())
        SavePdf(path);
}

void FMDruck::done(int result) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}
