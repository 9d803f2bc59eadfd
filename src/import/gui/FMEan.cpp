#include "FMEan.h"

#include "base/UserInterface.h"
#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMEan");

} // namespace

FMEan::FMEan(Connection& connection, const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_download(download),
      m_rows(new EanMatchModel(this)) {
    setObjectName(QStringLiteral("FMEan"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Einlesen EAN/Preismatch"));
    setModal(true);
    setSizeGripEnabled(true);

    TXTFile = new QLineEdit(this);
    TXTFile->setObjectName(QStringLiteral("TXTFile"));
    TXTFile->setReadOnly(true);
    liart = new QTreeView(this);
    liart->setObjectName(QStringLiteral("liart"));
    liart->setModel(m_rows);
    liart->setRootIsDecorated(false);
    liart->setItemsExpandable(false);
    liart->setUniformRowHeights(true);
    SetListRowHeight(liart);
    liart->setAlternatingRowColors(true);
    liart->setSelectionBehavior(QAbstractItemView::SelectRows);
    liart->setEditTriggers(QAbstractItemView::NoEditTriggers);
    liart->header()->resizeSection(EanMatchModel::ArtNr, 90);
    liart->header()->resizeSection(EanMatchModel::BezeichnungVeltar, 260);
    liart->header()->resizeSection(EanMatchModel::Ean, 120);
    BUVerbuch = new QPushButton(QStringLiteral("Verbuchen"), this);
    BUVerbuch->setObjectName(QStringLiteral("BUVerbuch"));
    connect(BUVerbuch, &QPushButton::clicked, this, &FMEan::BUVerbuch_Click);

    auto* file = new QFormLayout;
    file->addRow(QStringLiteral("File:"), TXTFile);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BUVerbuch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(file);
    layout->addWidget(liart, 1);
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &FMEan::Timer1_Timer);
    resize(760, 440);
    RestoreWindowPlacement(this, kPlacementKey);
    Timer1->start();
}

FMEan::~FMEan() {
    SaveWindowPlacement(this, kPlacementKey);
}

QString FMEan::FileText() const {
    return TXTFile->text();
}

void FMEan::Timer1_Timer() {
    Timer1->stop();
    const QString path = UI().chooseFile(QStringLiteral("EAN/Preismatch-Datei öffnen"),
                                         EanMatchFolder(), QStringLiteral("*.csv"));
    if (path.isEmpty()) {
        reject();
        return;
    }
    OpenFile(path);
}

bool FMEan::OpenFile(const QString& path) {
    TXTFile->setText(path);
    QList<EanMatchRow> rows;
    if (!ReadEanMatchFile(m_connection, path, m_download.key, &rows)) {
        reject();
        return false;
    }
    StoreEanMatchFolder(path);
    m_rows->setRows(std::move(rows));
    return true;
}

void FMEan::BUVerbuch_Click() {
    BUVerbuch->setEnabled(false);
    m_attempted = true;
    bool ok = false;
    {
        BusyPointer busy;
        ok = PostEanMatch(m_connection, m_rows->rows(), m_download);
    }
    BUVerbuch->setEnabled(true);
    m_posted = ok;
    // After a refusal the list stays for another try (what was stored
    // before it is stored again unchanged).
    if (ok)
        accept();
}
