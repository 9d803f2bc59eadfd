#include "FMImport.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "import/ImportFileReader.h"
#include "import/WebImport.h"
#include "import/gui/FMDef.h"
#include "import/gui/FMSpalten.h"
#include "import/gui/FMWebDownload.h"
#include "import/gui/fmpruebn.h"
#include "lookup/gui/FMLnrsu.h"
#include "widgets/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>

namespace {

QLineEdit* makeBox(QWidget* parent, const QString& name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// The number of lines of a file whose line feeds are known: a last line
// without a line feed counts as well.
qint64 lineCount(const QString& path, qint64 lineFeeds) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return lineFeeds;
    char last = '\n';
    if (!file.seek(file.size() - 1) || !file.getChar(&last))
        return lineFeeds;
    return last == '\n' ? lineFeeds : lineFeeds + 1;
}

} // namespace

const QString FMImport::kFileFilter =
    QStringLiteral("Preisdateien (*.txt *.001 *.zip);;Kataloge und Preislisten (*.xml *.xlsx "
                   "*.csv);;Alle Dateien (*)");

FMImport::FMImport(Connection& connection, Source source, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_source(source), m_import(connection) {
    setObjectName(QStringLiteral("FMImport"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Import"));
    setModal(true);
    setSizeGripEnabled(true);

    TXTLnr = makeBox(this, QStringLiteral("TXTLnr"));
    TXTLnr->setMaxLength(20);
    TXTLnr->setMaximumWidth(120);
    TXTLnr->installEventFilter(this);
    TXTLname = makeBox(this, QStringLiteral("TXTLname"));
    TXTLname->setReadOnly(true);
    TXTLname->setFocusPolicy(Qt::NoFocus);
    BULSu = makeButton(this, QStringLiteral("BULSu"), QStringLiteral("Suchen…"));
    BULSu->setToolTip(QStringLiteral("Lieferant suchen"));
    BUDefaults = makeButton(this, QStringLiteral("BUDefaults"), QStringLiteral("Defaults"));
    TXTFile = makeBox(this, QStringLiteral("TXTFile"));
    TXTFile->setReadOnly(true);
    Buspeich = makeButton(this, QStringLiteral("Buspeich"), QStringLiteral("Importieren"));
    BUClose = makeButton(this, QStringLiteral("BUClose"), QStringLiteral("Ausstieg"));
    meter = new QProgressBar(this);
    meter->setObjectName(QStringLiteral("meter"));
    meter->hide();
    text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("text"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(10);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Lieferant:"), this), 0, 0);
    auto* supplierRow = new QHBoxLayout;
    supplierRow->addWidget(TXTLnr);
    supplierRow->addWidget(BULSu);
    supplierRow->addWidget(TXTLname, 1);
    supplierRow->addWidget(BUDefaults);
    top->addLayout(supplierRow, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("File:"), this), 1, 0);
    top->addWidget(TXTFile, 1, 1);
    top->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(meter, 1);
    bottom->addStretch();
    bottom->addWidget(Buspeich);
    bottom->addWidget(BUClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(text, 1);
    layout->addLayout(bottom);

    connect(Timer1, &QTimer::timeout, this, &FMImport::Timer1_Timer);
    connect(TXTLnr, &QLineEdit::textChanged, this, &FMImport::TXTLnr_Change);
    // A name is that of the number checked: typing takes it away until the
    // new number is checked.
    connect(TXTLnr, &QLineEdit::textEdited, TXTLname, &QLineEdit::clear);
    connect(BULSu, &QPushButton::clicked, this, &FMImport::BULSu_Click);
    connect(BUDefaults, &QPushButton::clicked, this, &FMImport::BUDefaults_Click);
    connect(Buspeich, &QPushButton::clicked, this, &FMImport::Buspeich_Click);
    connect(BUClose, &QPushButton::clicked, this, &FMImport::BUClose_Click);

    TXTLnr_Change(QString());
    resize(900, 600);
    RestoreWindowPlacement(this, placementKey());
}

FMImport::~FMImport() = default;

QString FMImport::placementKey() const {
    return m_source == Source::Web ? QStringLiteral("FMWeb") : QStringLiteral("FMImport");
}

void FMImport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        Timer1->start();
    }
}

void FMImport::Timer1_Timer() {
    Timer1->stop();
    QString path;
    if (m_source == Source::Web) {
        {
            FMWebDownload download(m_connection, this);
            download.exec();
        }
        path = WebDownloadPath();
    } else {
        const QStringList paths = UI().chooseFiles(
            QStringLiteral("Preisdatei öffnen"),
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation), kFileFilter);
        if (paths.isEmpty()) {
            reject();
            return;
        }
        openFiles(paths);
        return;
    }
    openFile(path);
}

void FMImport::openFile(const QString& path) {
    openFiles({path});
}

void FMImport::openFiles(const QStringList& paths) {
    TXTFile->setText(paths.join(QStringLiteral(", ")));
    const Delivery delivery = RecognizeDelivery(paths);
    const OpenedFile opened = m_import.open(delivery);
    if (!opened.ok) {
        text->clear();
        m_path.clear();
        m_deliveryFiles = Delivery();
        reject();
        return;
    }
    m_deliveryFiles = delivery;
    m_path = delivery.files.first().path;
    if (delivery.isDatanorm()) {
        // What was recognised, then the head of the article (or price) file.
        QStringList names;
        for (const DeliveryFile& f : delivery.files)
            names << f.name;
        TXTFile->setText(names.join(QStringLiteral(", ")));
        const QList<DeliveryFile> articles = delivery.filesOf(FileRole::Articles);
        const DeliveryFile& shown = articles.isEmpty() ? delivery.files.first() : articles.first();
        ShowFile(shown.path, delivery.summary() + u'\n' + kDeliveryWithoutSupplierMessage +
                                 QStringLiteral("\n\n"));
        TXTLnr->clear();
        TXTLname->clear();
        TXTLnr->setFocus();
        return;
    }
    if (!delivery.namesSupplier()) {
        // What was recognised, then the file's head (a workbook's first rows).
        TXTFile->setText(delivery.files.first().name);
        const QString before =
            delivery.summary() + u'\n' + kDeliveryWithoutSupplierMessage + QStringLiteral("\n\n");
        if (delivery.format == Delivery::Format::Xlsx)
            ShowRows(m_path, before);
        else
            ShowFile(m_path, before);
        TXTLnr->clear();
        TXTLname->clear();
        TXTLnr->setFocus();
        return;
    }
    ShowFile(m_path);
    TXTLnr->setText(opened.supplier);
    TXTLname->setText(opened.supplierName);
    if (opened.supplier.isEmpty() || opened.supplierName.isEmpty())
        TXTLnr->setFocus();
}

void FMImport::ShowFile(const QString& path, const QString& before) {
    ImportFileReader reader;
    reader.setDosCodePage(m_deliveryFiles.isDatanorm());
    if (!reader.open(path)) {
        text->clear();
        return;
    }
    QString shown = before;
    QString line;
    qint64 lines = 0;
    while (lines < kShownLines && shown.size() < kShownChars && reader.readLine(&line)) {
        // A DOS end-of-file character is no text of the file.
        shown += QStringView(line).left(kShownChars).toString().remove(QChar(0x1A));
        shown += u'\n';
        ++lines;
    }
    if (reader.readLine(&line)) {
        const qint64 total = lineCount(path, reader.lineFeedCount());
        const QLocale german(QLocale::German, QLocale::Germany);
        shown += QStringLiteral("[… Die Datei hat ") + german.toString(total) +
                 QStringLiteral(" Zeilen; angezeigt sind die ersten ") + german.toString(lines) +
                 QStringLiteral(".]\n");
    }
    reader.close();
    text->setPlainText(shown);
}

void FMImport::ShowRows(const QString& path, const QString& before) {
    auto rows = PriceListRows(path, true);
    QString shown = before;
    if (rows->open()) {
        SheetRow row;
        qint64 number = 0;
        for (int n = 0; n < kShownLines && shown.size() < kShownChars && rows->next(&row, &number);
             ++n) {
            QStringList cells;
            for (const SheetCell& c : row)
                cells << c.text;
            shown += QStringLiteral("%1:\t").arg(number) + cells.join(u'\t') + u'\n';
        }
    }
    text->setPlainText(shown);
}

void FMImport::TXTLnr_Change(const QString& value) {
    const bool filled = !value.isEmpty();
    Buspeich->setEnabled(filled && !m_running);
    BUDefaults->setEnabled(filled && !m_running);
    if (!filled)
        TXTLname->clear();
}

void FMImport::TXTLnr_LostFocus() {
    if (m_checking || m_running)
        return;
    const QString supplier = TXTLnr->text();
    if (supplier.isEmpty()) {
        TXTLname->clear();
        return;
    }
    m_checking = true;
    const QString name = m_import.checkSupplier(supplier);
    m_checking = false;
    TXTLname->setText(name);
    if (name.isEmpty())
        TXTLnr->setFocus();
}

void FMImport::BULSu_Click() {
    const QString supplier = vt_lnr_su(m_connection, this);
    if (supplier.isEmpty())
        return;
    TXTLnr->setText(supplier);
    TXTLnr_LostFocus();
}

void FMImport::BUDefaults_Click() {
    FMDef defaults(m_connection, TXTLnr->text(), this);
    defaults.exec();
}

void FMImport::Buspeich_Click() {
    if (m_running || m_path.isEmpty() || TXTLnr->text().isEmpty())
        return;
    m_running = true;
    SetControlsEnabled(false);
    ShowProgress(0, 1);
    if (m_deliveryFiles.isPriceList()) {
        // Which column holds what: the supplier's last mapping, else what
        // the headers propose.
        const auto chosen =
            FMSpalten::choose(m_path, m_deliveryFiles.format == Delivery::Format::Xlsx,
                              RememberedMapping(Session().firma, TXTLnr->text()), this);
        if (!chosen) {
            m_running = false;
            meter->hide();
            SetControlsEnabled(true);
            return;
        }
        m_deliveryFiles.columns = *chosen;
    }
    const ImportResult result = m_import.import(m_deliveryFiles, TXTLnr->text(), *this);
    if (result.outcome == ImportResult::Outcome::Imported && m_deliveryFiles.isPriceList())
        RememberMapping(Session().firma, TXTLnr->text(), m_deliveryFiles.columns);
    ShowImportResult(result);
    QStringList ratesTaken;
    if (result.outcome == ImportResult::Outcome::Imported && !result.rates.isEmpty() &&
        m_ratesTaker) {
        const int groups = m_ratesTaker->takeDeliveryRates(
            m_connection, PositionDownload{result.downloadId, TXTLnr->text(), TXTLname->text()},
            result.rates);
        if (groups >= 0)
            ratesTaken << QStringLiteral("Rabattsätze in %1 %2 eingetragen")
                              .arg(groups)
                              .arg(groups == 1 ? QStringLiteral("Rabattgruppe")
                                               : QStringLiteral("Rabattgruppen"));
    }
    m_running = false;
    if (result.outcome == ImportResult::Outcome::Imported) {
        meter->hide();
        ShowReport(result, ratesTaken);
        emit imported();
        accept();
        return;
    }
    meter->hide();
    SetControlsEnabled(true);
}

bool FMImport::choosePriceTracks(PriceTrackList& tracks) {
    return fmpruebn::choose(tracks, this);
}

void FMImport::SetControlsEnabled(bool enabled) {
    TXTLnr->setReadOnly(!enabled);
    BULSu->setEnabled(enabled);
    BUClose->setEnabled(enabled);
    TXTLnr_Change(TXTLnr->text());
}

void FMImport::ShowProgress(qint64 value, qint64 maximum) {
    if (maximum <= 0) {
        meter->hide();
        return;
    }
    constexpr qint64 limit = std::numeric_limits<int>::max();
    meter->setRange(0, int(qMin(maximum, limit)));
    meter->setValue(int(qBound<qint64>(0, value, qMin(maximum, limit))));
    meter->show();
}

void FMImport::ShowReport(const ImportResult& result, const QStringList& more) {
    const QStringList lines = result.reportLines() + more;
    if (lines.isEmpty())
        return;
    QDialog report(this);
    report.setObjectName(QStringLiteral("FMImportBericht"));
    report.setWindowTitle(QStringLiteral("Import - Hinweise"));
    auto* heading = new QLabel(
        QStringLiteral("%1 Positionen importiert. Hinweise zur Lieferung:").arg(result.positions),
        &report);
    auto* list = new QPlainTextEdit(lines.join(u'\n'), &report);
    list->setObjectName(QStringLiteral("TXTHinweise"));
    list->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &report);
    QPushButton* save =
        buttons->addButton(QStringLiteral("Als Text speichern …"), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("BUSpeichern"));
    connect(buttons, &QDialogButtonBox::accepted, &report, &QDialog::accept);
    connect(save, &QPushButton::clicked, &report, [&report, lines] {
        const QString path = QFileDialog::getSaveFileName(
            &report, QStringLiteral("Hinweise speichern"),
            QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                .filePath(QStringLiteral("Import-Hinweise.txt")),
            QStringLiteral("Text (*.txt)"));
        if (path.isEmpty())
            return;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()) <
                0 ||
            !file.commit())
            UI().message(QStringLiteral("Datei kann nicht geschrieben werden: ") + path, QString(),
                         MessageIcon::Critical, MessageButtons::Ok);
    });
    auto* layout = new QVBoxLayout(&report);
    layout->addWidget(heading);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    report.resize(640, 420);
    report.exec();
}

void FMImport::BUClose_Click() {
    close();
}

void FMImport::done(int result) {
    if (m_running)
        return;
    SaveWindowPlacement(this, placementKey());
    QDialog::done(result);
}

void FMImport::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool FMImport::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TXTLnr && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window coming to the front (a message, a menu) is no
        // leaving of the box; neither is going to "Ausstieg" or to the
        // supplier search, which finds the number instead.
        QWidget* next = QApplication::focusWidget();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            isVisible() && next != BUClose && next != BULSu)
            TXTLnr_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
}
