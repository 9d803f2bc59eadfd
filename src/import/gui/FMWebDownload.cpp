#include "FMWebDownload.h"

#include "import/WebImport.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

FMWebDownload::FMWebDownload(Connection& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection) {
    setObjectName(QStringLiteral("FMWebDownload"));
    setWindowTitle(QStringLiteral("Quendra Web Download"));
    setModal(true);

    Lief = new QComboBox(this);
    Lief->setObjectName(QStringLiteral("Lief"));
    Lief->setMinimumContentsLength(32);
    Lief->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Lief->installEventFilter(this);
    bu_download = new QPushButton(QStringLiteral("Download"), this);
    bu_download->setObjectName(QStringLiteral("bu_download"));
    bu_download->setEnabled(false);
    bu_download->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Lieferant:"), Lief);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bu_download);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(Lief, &QComboBox::activated, this, &FMWebDownload::Lief_Click);
    connect(bu_download, &QPushButton::clicked, this, &FMWebDownload::bu_download_Click);

    Lief->addItems(LoadWebSuppliers(m_connection));
    // The entry shown can be downloaded at once.
    bu_download->setEnabled(Lief->count() > 0);
    resize(460, sizeHint().height());
}

FMWebDownload::~FMWebDownload() = default;

void FMWebDownload::Lief_Click() {
    bu_download->setEnabled(true);
}

void FMWebDownload::bu_download_Click() {
    // A failed server call (its report was shown) or an entry without a
    // code leaves the window open for another try.
    if (DownloadWebPriceData(m_connection, Lief->currentText()))
        accept();
}

bool FMWebDownload::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Lief && event->type() == QEvent::MouseButtonPress)
        Lief_Click();
    return QDialog::eventFilter(watched, event);
}
