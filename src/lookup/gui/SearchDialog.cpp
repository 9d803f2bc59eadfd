#include "SearchDialog.h"

#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

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
#include <QTreeView>
#include <QVBoxLayout>

SearchDialog::SearchDialog(const QString& name, const QString& title, const QString& listName,
                           const QString& placementKey, QWidget* parent)
    : QDialog(parent), m_placementKey(placementKey) {
    setObjectName(name);
    setWindowTitle(title);
    setModal(true);
    m_criteria = new QFormLayout;
    m_list = new QTreeView(this);
    m_list->setObjectName(listName);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    SetListRowHeight(m_list);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->installEventFilter(this);

    LBLAnzahl = new QLabel(this);
    LBLAnzahl->setObjectName(QStringLiteral("LBLAnzahl"));
    BUSuchen = new QPushButton(QStringLiteral("Suchen"), this);
    BUSuchen->setObjectName(QStringLiteral("BUSuchen"));
    BUOK = new QPushButton(QStringLiteral("Übernehmen"), this);
    BUOK->setObjectName(QStringLiteral("BUOK"));
    BUOK->setEnabled(false);
    BUAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    BUAbbruch->setObjectName(QStringLiteral("BUAbbruch"));
    // Enter searches in the boxes and chooses in the list; no button is the
    // dialog's default.
    for (QPushButton* b : {BUSuchen, BUOK, BUAbbruch})
        b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LBLAnzahl, 1);
    buttons->addWidget(BUOK);
    buttons->addWidget(BUAbbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_criteria);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    connect(BUSuchen, &QPushButton::clicked, this, &SearchDialog::BUSuchen_Click);
    connect(BUOK, &QPushButton::clicked, this, &SearchDialog::BUOK_Click);
    connect(BUAbbruch, &QPushButton::clicked, this, &SearchDialog::reject);
    connect(m_list, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { choose(index.row()); });
}

void SearchDialog::finish(QAbstractItemModel* model, const QList<int>& widths) {
    m_list->setModel(model);
    for (int c = 0; c < widths.size(); ++c)
        m_list->header()->resizeSection(c, widths[c]);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { BUOK->setEnabled(current.isValid()); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { BUOK->setEnabled(false); });
    // Rows that page in as the list is scrolled count too.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this] { LBLAnzahl->setText(countText(m_list->model()->rowCount())); });
    resize(680, 480);
    RestoreWindowPlacement(this, m_placementKey);
}

QWidget* SearchDialog::searchRow(QWidget* box) {
    auto* row = new QWidget(this);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(box, 1);
    h->addWidget(BUSuchen);
    return row;
}

void SearchDialog::addCriteria(const QString& label, QWidget* box) {
    QWidget* field = box;
    // The first row carries "Suchen".
    if (m_criteria->rowCount() == 0)
        field = searchRow(box);
    m_criteria->addRow(label, field);
    QLineEdit* edit = qobject_cast<QLineEdit*>(box);
    if (auto* combo = qobject_cast<QComboBox*>(box))
        edit = combo->lineEdit();
    if (edit)
        connect(edit, &QLineEdit::returnPressed, this, &SearchDialog::BUSuchen_Click);
    else
        box->installEventFilter(this); // Enter in a fixed list searches too
    if (m_criteria->rowCount() == 1)
        box->setFocus();
}

void SearchDialog::BUSuchen_Click() {
    const int hits = search();
    // A failed search has shown its error report: no count under it.
    LBLAnzahl->setText(hits < 0 ? QStringLiteral("Suche fehlgeschlagen") : countText(hits));
    if (hits > 0) {
        m_list->setCurrentIndex(m_list->model()->index(0, 0));
        m_list->setFocus();
    }
}

void SearchDialog::BUOK_Click() {
    choose(m_list->currentIndex().row());
}

void SearchDialog::choose(int row) {
    if (row < 0 || row >= m_list->model()->rowCount())
        return;
    m_chosen = valueOf(row);
    accept();
}

void SearchDialog::done(int result) {
    if (result != Accepted)
        m_chosen.clear();
    SaveWindowPlacement(this, m_placementKey);
    QDialog::done(result);
}

bool SearchDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == m_list)
                choose(m_list->currentIndex().row());
            else
                BUSuchen_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString HitCountText(int hits, int limit, const QString& one, const QString& many,
                     const QString& none) {
    const QLocale german(QLocale::German, QLocale::Germany);
    if (hits == 0)
        return none;
    if (hits == 1)
        return QStringLiteral("1 ") + one + QStringLiteral(" gefunden");
    if (hits >= limit)
        return QStringLiteral("Die ersten ") + german.toString(limit) + u' ' + many +
               QStringLiteral("; bitte die Suche eingrenzen");
    return german.toString(hits) + u' ' + many + QStringLiteral(" gefunden");
}
