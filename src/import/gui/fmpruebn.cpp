#include "fmpruebn.h"

#include "import/PriceTracks.h"
#include "widgets/WidgetHelpers.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { DatumColumn = 0, AnzahlColumn = 1, UebernehmenColumn = 2 };

} // namespace

fmpruebn::fmpruebn(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmpruebn"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisschienenauswahl"));
    setModal(true);

    auto* hint = new QLabel(
        QStringLiteral("Bitte die Preisschienen (Gültigkeitsdaten) ankreuzen, die übernommen "
                       "werden sollen."),
        this);
    hint->setWordWrap(true);

    list1 = new QTreeWidget(this);
    list1->setObjectName(QStringLiteral("list1"));
    list1->setHeaderLabels(
        {QStringLiteral("Datum"), QStringLiteral("Anzahl"), QStringLiteral("übernehmen")});
    list1->setRootIsDecorated(false);
    list1->setUniformRowHeights(true);
    SetListRowHeight(list1);
    list1->setAlternatingRowColors(true);
    list1->setSelectionMode(QAbstractItemView::SingleSelection);
    list1->header()->setStretchLastSection(true);
    list1->header()->resizeSection(DatumColumn, 130);
    list1->header()->resizeSection(AnzahlColumn, 100);
    list1->headerItem()->setTextAlignment(AnzahlColumn, Qt::AlignRight | Qt::AlignVCenter);

    buok = new QPushButton(QStringLiteral("OK"), this);
    buok->setObjectName(QStringLiteral("buok"));
    buok->setDefault(true);
    connect(buok, &QPushButton::clicked, this, &fmpruebn::buok_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(list1, 1);
    layout->addLayout(buttons);

    resize(420, 280);
}

fmpruebn::~fmpruebn() = default;

void fmpruebn::setTracks(const PriceTrackList& tracks) {
    m_confirmed = false;
    list1->clear();
    for (const PriceTrack& t : tracks.rows()) {
        auto* item = new QTreeWidgetItem(list1);
        item->setText(DatumColumn, t.date);
        item->setText(AnzahlColumn, QString::number(t.count));
        item->setTextAlignment(AnzahlColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(UebernehmenColumn, t.marked ? Qt::Checked : Qt::Unchecked);
    }
    if (list1->topLevelItemCount() > 0)
        list1->setCurrentItem(list1->topLevelItem(0));
}

void fmpruebn::writeMarks(PriceTrackList& tracks) const {
    for (int i = 0; i < list1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list1->topLevelItem(i);
        const int row = tracks.find(item->text(DatumColumn));
        if (row >= 0)
            tracks.rows()[row].marked = item->checkState(UebernehmenColumn) == Qt::Checked;
    }
}

void fmpruebn::buok_Click() {
    m_confirmed = true;
    accept();
}

bool fmpruebn::choose(PriceTrackList& tracks, QWidget* parent) {
    fmpruebn window(parent);
    window.setTracks(tracks);
    window.exec();
    if (!window.confirmed())
        return false;
    window.writeMarks(tracks);
    return true;
}
