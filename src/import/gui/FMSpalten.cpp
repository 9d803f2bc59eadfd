#include "FMSpalten.h"

#include "widgets/WindowPlacement.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMSpalten");

// The choice of meaning above each column: a list, applied as it changes.
class MeaningDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("CBSpalte%1").arg(index.column()));
        box->addItem(ColumnMappingModel::kNone);
        box->addItems(PriceColumnCaptions());
        connect(box, &QComboBox::activated, box, [this, box] {
            auto* self = const_cast<MeaningDelegate*>(this);
            emit self->commitData(box);
        });
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        box->setCurrentText(index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText(), Qt::EditRole);
    }
};

} // namespace

FMSpalten::FMSpalten(const QString& path, bool workbook, const ColumnMapping& mapping,
                     QWidget* parent)
    : QDialog(parent), m_path(path), m_workbook(workbook) {
    setObjectName(QStringLiteral("FMSpalten"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Spaltenzuordnung"));
    setModal(true);

    auto* intro = new QLabel(
        QStringLiteral("Wählen Sie über jeder Spalte, was sie enthält. Best.Nr. und Preis (oder "
                       "Netto) sind nötig; die Zuordnung gilt beim nächsten Mal für diesen "
                       "Lieferanten."),
        this);
    intro->setWordWrap(true);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("table"));
    table->setModel(&m_model);
    table->setItemDelegateForRow(0, new MeaningDelegate(table));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setWordWrap(false);
    table->horizontalHeader()->setDefaultSectionSize(130);
    table->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);

    SPErsteZeile = new QSpinBox(this);
    SPErsteZeile->setObjectName(QStringLiteral("SPErsteZeile"));
    SPErsteZeile->setRange(1, 1048576);
    CBBlatt = new QComboBox(this);
    CBBlatt->setObjectName(QStringLiteral("CBBlatt"));
    LBLHinweis = new QLabel(this);
    LBLHinweis->setObjectName(QStringLiteral("LBLHinweis"));
    BUImport = new QPushButton(QStringLiteral("Importieren"), this);
    BUImport->setObjectName(QStringLiteral("BUImport"));
    BUImport->setDefault(true);
    BUAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    BUAbbruch->setObjectName(QStringLiteral("BUAbbruch"));
    BUAbbruch->setAutoDefault(false);

    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel(QStringLiteral("Erste Datenzeile:"), this));
    options->addWidget(SPErsteZeile);
    options->addSpacing(16);
    auto* sheetLabel = new QLabel(QStringLiteral("Blatt:"), this);
    options->addWidget(sheetLabel);
    options->addWidget(CBBlatt);
    options->addStretch();
    sheetLabel->setVisible(workbook);
    CBBlatt->setVisible(workbook);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LBLHinweis, 1);
    buttons->addWidget(BUImport);
    buttons->addWidget(BUAbbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table, 1);
    layout->addLayout(options);
    layout->addLayout(buttons);

    connect(&m_model, &ColumnMappingModel::mappingChanged, this, &FMSpalten::showState);
    connect(SPErsteZeile, &QSpinBox::valueChanged, &m_model, &ColumnMappingModel::setFirstRow);
    connect(CBBlatt, &QComboBox::activated, this, [this] {
        ColumnMapping m = m_model.mapping();
        m.sheet = CBBlatt->currentText();
        reload(m);
    });
    connect(BUImport, &QPushButton::clicked, this, &FMSpalten::accept);
    connect(BUAbbruch, &QPushButton::clicked, this, &FMSpalten::reject);

    reload(mapping);
    resize(900, 520);
    RestoreWindowPlacement(this, kPlacementKey);
}

FMSpalten::~FMSpalten() = default;

void FMSpalten::reload(const ColumnMapping& mapping) {
    // A sheet the workbook does not have (remembered from another list):
    // the first sheet instead.
    if (!m_model.load(m_path, m_workbook, mapping) && !mapping.sheet.isEmpty() &&
        !m_model.sheets().contains(mapping.sheet)) {
        ColumnMapping first = mapping;
        first.sheet.clear();
        reload(first);
        return;
    }
    {
        const QSignalBlocker quiet(CBBlatt);
        CBBlatt->clear();
        CBBlatt->addItems(m_model.sheets());
        const QString sheet =
            m_model.mapping().sheet.isEmpty() ? m_model.sheets().value(0) : m_model.mapping().sheet;
        CBBlatt->setCurrentText(sheet);
    }
    {
        const QSignalBlocker quiet(SPErsteZeile);
        SPErsteZeile->setValue(m_model.firstRow());
    }
    for (int c = 0; c < m_model.columnCount(); ++c)
        table->openPersistentEditor(m_model.index(0, c));
    showState();
}

void FMSpalten::showState() {
    QString missing;
    if (!m_model.error().isEmpty())
        missing = m_model.error();
    else if (m_model.columnOf(PriceColumn::BestNr) < 0)
        missing = QStringLiteral("Bitte die Spalte für Best.Nr. wählen");
    else if (m_model.columnOf(PriceColumn::Preis) < 0 && m_model.columnOf(PriceColumn::Netto) < 0)
        missing = QStringLiteral("Bitte die Spalte für Preis oder Netto wählen");
    LBLHinweis->setText(missing);
    BUImport->setEnabled(missing.isEmpty());
    // The choices follow the model (a meaning taken from another column).
    for (int c = 0; c < m_model.columnCount(); ++c)
        if (auto* box = qobject_cast<QComboBox*>(table->indexWidget(m_model.index(0, c))))
            box->setCurrentText(m_model.index(0, c).data(Qt::EditRole).toString());
}

void FMSpalten::done(int result) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}

std::optional<ColumnMapping> FMSpalten::choose(const QString& path, bool workbook,
                                               const ColumnMapping& mapping, QWidget* parent) {
    FMSpalten window(path, workbook, mapping, parent);
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return window.mapping();
}
