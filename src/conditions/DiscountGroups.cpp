#include "DiscountGroups.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/PositionLineRules.h"
#include "common/TextHelpers.h"
#include "positions/PositionEdit.h"
#include "positions/PositionGridModel.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"

#include <QBrush>
#include <QColor>

namespace {

// A rate as the grid shows it: the server's digits with a decimal comma.
QString shownRate(const QString& serverText) {
    QString t = serverText.trimmed();
    return t.replace(u'.', u',');
}

// A rate as the server reads it: a decimal point (the grid shows a comma).
QString serverRate(const QString& shown) {
    QString t = shown.trimmed();
    return t.replace(u',', u'.');
}

QString serverDate(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

bool isRateColumn(int column) {
    return column >= DiscountGroupModel::Rab1 && column <= DiscountGroupModel::Rab4;
}

} // namespace

DiscountGroupModel::DiscountGroupModel(QObject* parent) : QAbstractTableModel(parent) {}

QStringList DiscountGroupModel::headers() {
    return {
        QStringLiteral("Rabgr"),     QStringLiteral("Rabgr Veltar"), QStringLiteral("Bezeichnung"),
        QStringLiteral("1.Artikel"), QStringLiteral("Datum ab"),     QStringLiteral("Rab 1"),
        QStringLiteral("Rab 2"),     QStringLiteral("Rab 3"),        QStringLiteral("Rab 4")};
}

void DiscountGroupModel::setRows(QVector<DiscountGroupRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    for (DiscountGroupRow& r : m_rows)
        r.cells.resize(ColumnCount);
    endResetModel();
}

QString DiscountGroupModel::cellText(int row, int column) const {
    if (row < 0 || row >= size() || column < 0 || column >= ColumnCount)
        return QString();
    if (column == DatumAb)
        return m_rows[row].date.isValid() ? serverDate(m_rows[row].date) : m_rows[row].dateText;
    return m_rows[row].cells.value(column);
}

void DiscountGroupModel::setCell(int row, int column, const QString& text) {
    if (row < 0 || row >= size() || column < 0 || column >= ColumnCount || column == DatumAb)
        return;
    m_rows[row].cells[column] = text;
    Q_EMIT dataChanged(index(row, column), index(row, column));
}

void DiscountGroupModel::setDate(int row, const QDate& date) {
    if (row < 0 || row >= size())
        return;
    m_rows[row].date = date;
    m_rows[row].dateText.clear();
    Q_EMIT dataChanged(index(row, DatumAb), index(row, DatumAb));
}

void DiscountGroupModel::setDateText(int row, const QString& text) {
    if (row < 0 || row >= size())
        return;
    m_rows[row].date = QDate();
    m_rows[row].dateText = text;
    Q_EMIT dataChanged(index(row, DatumAb), index(row, DatumAb));
}

void DiscountGroupModel::setHighlight(int row, bool on) {
    if (row < 0 || row >= size() || m_rows[row].highlight == on)
        return;
    m_rows[row].highlight = on;
    Q_EMIT dataChanged(index(row, DatumAb), index(row, Rab4));
}

int DiscountGroupModel::cellStyle(int row, int column) const {
    return m_rows[row].highlight && column >= DatumAb ? 1 : 0;
}

int DiscountGroupModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : size();
}

int DiscountGroupModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DiscountGroupModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= size())
        return {};
    const DiscountGroupRow& r = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole:
        if (cellStyle(index.row(), index.column()) == 1)
            return QBrush(QColor(kOrangeRed, kOrangeGreen, kOrangeBlue));
        if (r.green)
            return QBrush(QColor(0, 255, 0));
        return {};
    case Qt::TextAlignmentRole:
        if (isRateColumn(index.column()))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case StyleRole:
        return cellStyle(index.row(), index.column());
    case RowKeyRole:
        return r.id;
    case GreenRole:
        return r.green;
    default:
        return {};
    }
}

QVariant DiscountGroupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DiscountGroupModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // The supplier's group and its first article are the download's own.
    if (index.column() != Rabgr && index.column() != ErsterArtikel)
        f |= Qt::ItemIsEditable;
    return f;
}

bool DiscountGroupModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    if (value.toString() == cellText(index.row(), index.column()))
        return true;
    return editHandler && editHandler(index.row(), index.column(), value.toString());
}

std::optional<QDate> ParseGroupDate(const QString& text) {
    QString t = text.trimmed();
    if (t.size() < 6)
        return std::nullopt;
    t[2] = u'/';
    t[5] = u'/';
    QDate d = QDate::fromString(t, QStringLiteral("dd/MM/yyyy"));
    if (!d.isValid() && t.size() == 8) {
        d = QDate::fromString(t, QStringLiteral("dd/MM/yy"));
        if (d.isValid())
            d = d.addYears(100); // two digits are this century's years
    }
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QString DiscountGroupTitle(const PositionDownload& download) {
    return QStringLiteral("Quendra Preisdaten - Rabattgruppen   ") + download.supplier + u' ' +
           download.supplierName;
}

bool AskRelease() {
    NotBusy notBusy(UI());
    return UI().message(kReleaseQuestion, QString(), MessageIcon::Question,
                        MessageButtons::YesNo) == MessageAnswer::Yes;
}

DiscountGroupEditor::DiscountGroupEditor(Connection& connection, DiscountGroupModel& model,
                                         PositionDownload download)
    : m_connection(connection), m_model(model), m_download(std::move(download)) {
    // Edits of the grid come here.
    m_model.editHandler = [this](int row, int column, const QString& text) {
        return edit(row, column, text);
    };
}

DiscountGroupEditor::~DiscountGroupEditor() {
    m_model.editHandler = nullptr;
}

bool DiscountGroupEditor::load() {
    if (m_download.key.isEmpty())
        return true;
    QVector<DiscountGroupRow> rows;
    const bool ok = m_connection.call(QStringLiteral("FMRabgr.Laden Rabattgruppen lesen"), [&] {
        constexpr const erp::Query& q = EkgrpClass::kListe;
        ResultSet rs = EkgrpClass(m_connection.client()).liste();
        rs.execute({m_download.key});
        m_model.setRows({});
        while (rs.next()) {
            DiscountGroupRow r;
            r.id = rs.getData(erp::Column(q, u"id"));
            r.cells = QStringList{rs.getData(erp::Column(q, u"RabattGR")),
                                  rs.getData(erp::Column(q, u"ERPGR")),
                                  rs.getData(erp::Column(q, u"BEZ")),
                                  rs.getData(erp::Column(q, u"Artikel")),
                                  QString(),
                                  shownRate(rs.getData(erp::Column(q, u"Rabatt1"))),
                                  shownRate(rs.getData(erp::Column(q, u"Rabatt2"))),
                                  shownRate(rs.getData(erp::Column(q, u"Rabatt3"))),
                                  shownRate(rs.getData(erp::Column(q, u"Rabatt4")))};
            const QString date = rs.getData(erp::Column(q, u"Datum"));
            if (date != u"00:00:00") {
                r.date = ParseGroupDate(date).value_or(QDate());
                // What is no date goes back as it came, unless edited.
                if (!r.date.isValid())
                    r.dateText = date;
            }
            r.green = rs.getData(erp::Column(q, u"Abweichung")).trimmed() == u"0";
            rows.append(std::move(r));
        }
        rs.close();
    });
    m_model.setRows(std::move(rows));
    return ok;
}

bool DiscountGroupEditor::testDate(int row, const QDate& date) {
    const QString result = EkgrpClass(m_connection.client())
                               .tstdatum(m_model.row(row).id, m_download.key, serverDate(date));
    m_model.setHighlight(row, result.trimmed().toInt() == 0);
    return true;
}

bool DiscountGroupEditor::edit(int row, int column, const QString& text) {
    const bool taken = check(row, column, text);
    if (!taken)
        ++m_refusals;
    return taken;
}

bool DiscountGroupEditor::check(int row, int column, const QString& text) {
    if (row < 0 || row >= m_model.size())
        return false;
    if (column == DiscountGroupModel::DatumAb) {
        const auto date = ParseGroupDate(text);
        if (!date) {
            UI().message(kNoValidDateMessage, QString(), MessageIcon::Critical, MessageButtons::Ok);
            return false;
        }
        const DiscountGroupRow before = m_model.row(row);
        m_model.setDate(row, *date);
        if (m_connection.call(QStringLiteral("FMRabgr.tstdatum Datum prüfen"),
                              [&] { testDate(row, *date); }))
            return true;
        // Not tested: the date the row had.
        if (before.date.isValid() || before.dateText.isEmpty())
            m_model.setDate(row, before.date);
        else
            m_model.setDateText(row, before.dateText);
        return false;
    }
    if (isRateColumn(column)) {
        double v = 0;
        const QString t = text.trimmed();
        if (!t.isEmpty() && !ParseTypedNumber(t, &v)) {
            UI().message(QStringLiteral("Keine gültige Zahl: ") + t, QString(),
                         MessageIcon::Critical, MessageButtons::Ok);
            return false;
        }
        // A rate is a share of the price, to the hundredth: above 100 or
        // below 0 it makes net prices negative or raises them, and the ERP
        // keeps two decimals.
        if (!t.isEmpty() && (v < 0 || v > 100 || TypedDecimals(t) > 2)) {
            UI().message(QStringLiteral("Ein Rabatt liegt zwischen 0 und 100 % und hat höchstens "
                                        "zwei Nachkommastellen: ") +
                             t,
                         QString(), MessageIcon::Critical, MessageButtons::Ok);
            return false;
        }
        m_model.setCell(row, column,
                        t.isEmpty() ? QString() : shownRate(QString::number(v, 'g', 15)));
        return true;
    }
    // Texts go to the ERP as they are (the description is posted with the
    // group).
    if (const QChar c = FirstUnstorableChar(text); !c.isNull()) {
        UI().message(UnstorableCharMessage(c), QString(), MessageIcon::Critical,
                     MessageButtons::Ok);
        return false;
    }
    const int most = column == DiscountGroupModel::Bezeichnung ? PositionLineRules::kMaxText
                                                               : PositionLineRules::kMaxCode;
    if (text.trimmed().size() > most) {
        UI().message(QStringLiteral("Text zu lang: höchstens %1 Zeichen").arg(most), QString(),
                     MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }
    m_model.setCell(row, column, text.trimmed());
    return true;
}

bool DiscountGroupEditor::setAllDates(const QDate& date) {
    if (m_model.size() == 0)
        return true;
    return m_connection.call(QStringLiteral("FMRabgrdat.Setzen Datum setzen"), [&] {
        for (int r = 0; r < m_model.size(); ++r) {
            m_model.setDate(r, date);
            testDate(r, date);
        }
    });
}

bool DiscountGroupEditor::save() {
    if (m_model.size() == 0)
        return true;
    return m_connection.call(QStringLiteral("FMRabgr.Speichern Rabattgruppen speichern"), [&] {
        EkgrpClass groups(m_connection.client());
        for (int r = 0; r < m_model.size(); ++r) {
            using C = DiscountGroupModel;
            groups.speich({m_model.row(r).id, m_model.cellText(r, C::RabgrVeltar),
                           m_model.cellText(r, C::Bezeichnung), m_model.cellText(r, C::DatumAb),
                           serverRate(m_model.cellText(r, C::Rab1)),
                           serverRate(m_model.cellText(r, C::Rab2)),
                           serverRate(m_model.cellText(r, C::Rab3)),
                           serverRate(m_model.cellText(r, C::Rab4))});
        }
    });
}

int TakeDeliveryRates(Connection& connection, const PositionDownload& download,
                      const QMap<QString, QStringList>& rates) {
    DiscountGroupModel model;
    DiscountGroupEditor editor(connection, model, download);
    if (!editor.load())
        return -1;
    int taken = 0;
    for (int r = 0; r < model.size(); ++r) {
        const auto it = rates.constFind(model.cellText(r, DiscountGroupModel::Rabgr));
        if (it == rates.constEnd())
            continue;
        bool all = true;
        for (int i = 0; i < it->size() && i < 4; ++i) {
            const double v = it->at(i).toDouble();
            if (it->at(i).isEmpty() || v < 0 || v > 100)
                continue;
            all = editor.edit(r, DiscountGroupModel::Rab1 + i, shownRate(it->at(i))) && all;
        }
        taken += all ? 1 : 0;
    }
    if (taken > 0 && !editor.save())
        return -1;
    return taken;
}

bool DiscountGroupEditor::post(const std::function<bool()>& release) {
    m_answer.clear();
    // What is not saved is not released.
    if (!save())
        return false;
    const QString flag = release() ? QStringLiteral("J") : QStringLiteral("N");
    return m_connection.call(QStringLiteral("FMRabgr.Verbuchen Rabattgruppen verbuchen"), [&] {
        m_answer = EkgrpClass(m_connection.client()).verbuch(m_download.key, PersonnelCode(), flag);
    });
}
