#include "FMLnrsu.h"

#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "lookup/VeltarSu.h"
#include "shell/gui/WindowPlacement.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMLnrsu");

enum Column { NumberColumn = 0, NameColumn, PostCodeColumn, PlaceColumn };

} // namespace

FMLnrsu::FMLnrsu(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FMLnrsu"));
    setWindowTitle(QStringLiteral("VELTAR Lieferantensuche"));
    setModal(true);

    SKBEZ = new QLineEdit(this);
    SKBEZ->setObjectName(QStringLiteral("SKBEZ"));
    SKBEZ->setPlaceholderText(QStringLiteral("Teil des Namens"));
    SSKTOK = new QComboBox(this);
    SSKTOK->setObjectName(QStringLiteral("SSKTOK"));
    SSKTOK->setEditable(true);
    SSKTOK->addItem(QStringLiteral("1|Lieferanten"));
    SSKTOK->setMinimumContentsLength(16);
    BUSuchen = new QPushButton(QStringLiteral("Suchen"), this);
    BUSuchen->setObjectName(QStringLiteral("BUSuchen"));

    LNRSULI = new QTreeWidget(this);
    LNRSULI->setObjectName(QStringLiteral("LNRSULI"));
    LNRSULI->setHeaderLabels({QStringLiteral("Lief.-Nr"), QStringLiteral("Name"),
                              QStringLiteral("PLZ"), QStringLiteral("Ort")});
    LNRSULI->setRootIsDecorated(false);
    LNRSULI->setUniformRowHeights(true);
    LNRSULI->setAlternatingRowColors(true);
    LNRSULI->setSelectionMode(QAbstractItemView::SingleSelection);
    LNRSULI->header()->resizeSection(NumberColumn, 90);
    LNRSULI->header()->resizeSection(NameColumn, 280);
    LNRSULI->header()->resizeSection(PostCodeColumn, 70);
    LNRSULI->installEventFilter(this);

    LBLAnzahl = new QLabel(this);
    LBLAnzahl->setObjectName(QStringLiteral("LBLAnzahl"));
    BUOK = new QPushButton(QStringLiteral("Übernehmen"), this);
    BUOK->setObjectName(QStringLiteral("BUOK"));
    BUOK->setEnabled(false);
    BUAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    BUAbbruch->setObjectName(QStringLiteral("BUAbbruch"));
    // Enter searches in the boxes and chooses in the list; no button is the
    // dialog's default.
    for (QPushButton* b : {BUSuchen, BUOK, BUAbbruch})
        b->setAutoDefault(false);

    auto* search = new QFormLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(SKBEZ, 1);
    nameRow->addWidget(BUSuchen);
    search->addRow(QStringLiteral("Name:"), nameRow);
    search->addRow(QStringLiteral("Kontengruppe:"), SSKTOK);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LBLAnzahl, 1);
    buttons->addWidget(BUOK);
    buttons->addWidget(BUAbbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(LNRSULI, 1);
    layout->addLayout(buttons);

    connect(BUSuchen, &QPushButton::clicked, this, &FMLnrsu::BUSuchen_Click);
    connect(SKBEZ, &QLineEdit::returnPressed, this, &FMLnrsu::BUSuchen_Click);
    connect(SSKTOK->lineEdit(), &QLineEdit::returnPressed, this, &FMLnrsu::BUSuchen_Click);
    connect(BUOK, &QPushButton::clicked, this, &FMLnrsu::BUOK_Click);
    connect(BUAbbruch, &QPushButton::clicked, this, &FMLnrsu::reject);
    connect(LNRSULI, &QTreeWidget::itemDoubleClicked, this, &FMLnrsu::LNRSULI_DblClick);
    connect(LNRSULI, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { BUOK->setEnabled(current != nullptr); });

    resize(640, 460);
    RestoreWindowPlacement(this, kPlacementKey);
    SKBEZ->setFocus();
}

FMLnrsu::~FMLnrsu() = default;

void FMLnrsu::BUSuchen_Click() {
    QList<PartnerHit> hits;
    {
        BusyPointer busy;
        hits = getlnrsu(SKBEZ->text(), SSKTOK->currentText());
    }
    LNRSULI->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(hits.size());
    for (const PartnerHit& h : hits)
        items << new QTreeWidgetItem(QStringList{h.number, h.name, h.postCode, h.place});
    LNRSULI->addTopLevelItems(items);
    const QLocale german(QLocale::German, QLocale::Germany);
    if (hits.isEmpty())
        LBLAnzahl->setText(QStringLiteral("Kein Lieferant gefunden"));
    else if (hits.size() == 1)
        LBLAnzahl->setText(QStringLiteral("1 Lieferant gefunden"));
    else if (hits.size() >= kMaxPartnerHits)
        LBLAnzahl->setText(QStringLiteral("Die ersten ") + german.toString(kMaxPartnerHits) +
                           QStringLiteral(" Lieferanten; bitte die Suche eingrenzen"));
    else
        LBLAnzahl->setText(german.toString(hits.size()) + QStringLiteral(" Lieferanten gefunden"));
    if (!items.isEmpty()) {
        LNRSULI->setCurrentItem(items.first());
        LNRSULI->setFocus();
    }
}

void FMLnrsu::BUOK_Click() {
    Choose(LNRSULI->currentItem());
}

void FMLnrsu::LNRSULI_DblClick(QTreeWidgetItem* item) {
    Choose(item);
}

void FMLnrsu::Choose(QTreeWidgetItem* item) {
    if (!item)
        return;
    m_chosen = item->text(NumberColumn);
    accept();
}

void FMLnrsu::done(int result) {
    if (result != Accepted)
        m_chosen.clear();
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}

bool FMLnrsu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LNRSULI && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Choose(LNRSULI->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString vt_lnr_su(QWidget* parent) {
    const QString part = QStringLiteral("VeltarSU.vt_lnr_su");
    TraceLog(part, QStringLiteral("Start"), QString(), 40);
    QString chosen;
    {
        FMLnrsu search(parent);
        search.exec();
        chosen = search.chosenSupplier();
    }
    TraceLog(part, QStringLiteral("Ende"), chosen, 40);
    return chosen;
}
