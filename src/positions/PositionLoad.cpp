#include "PositionLoad.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"
#include "server/ErrorReport.h"
#include "server/PosClass.h"
#include "server/RequestPipeline.h"

#include <QElapsedTimer>

using namespace PositionGrid;

PositionLists::PositionLists() {
    reset();
}

void PositionLists::reset() {
    for (QStringList& l : m_items)
        l.clear();
    items(7).append(QString());
    items(13).append(QString());
}

bool PositionLists::addComboRow(const QString& row) {
    const QString group = Piece(row, QStringLiteral("|"), 1);
    const QString code = Piece(row, QStringLiteral("|"), 2);
    const QString text = Piece(row, QStringLiteral("|"), 3);
    static const QStringList plain{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                   QStringLiteral("4"), QStringLiteral("7"), QStringLiteral("12"),
                                   QStringLiteral("13")};
    if (plain.contains(group)) {
        items(group.toInt()).append(code + u'\n' + text);
        return true;
    }
    if (group == u"5") {
        items(5).append(text + u'\n' + text + u'%');
        return true;
    }
    return false;
}

void PositionLists::addFixedItems() {
    items(6) << QStringLiteral("N\nNein") << QStringLiteral("J\nJa");
    items(8) << QStringLiteral("N\nNetto") << QStringLiteral("%\nRabatt");
}

QStringList PositionLists::headers(int list) {
    switch (list) {
    case 1:
        return {QStringLiteral("Atyp"), QStringLiteral("Bezeichnung")};
    case 2:
        return {QStringLiteral("Code"), QStringLiteral("Warengruppe")};
    case 3:
        return {QStringLiteral("Code"), QStringLiteral("Abteilung")};
    case 4:
    case 11:
        return {QStringLiteral("Code"), QStringLiteral("Einheit")};
    case 5:
        return {QStringLiteral("Code"), QStringLiteral("Mwst %")};
    case 6:
        return {QStringLiteral("J/N")};
    case 7:
        return {QStringLiteral("Code"), QStringLiteral("Ek-Rabgruppe")};
    case 8:
        return {QStringLiteral("N/%"), QStringLiteral("Text")};
    case 9:
        return {QStringLiteral("VK-Datum"), QStringLiteral("KF-Soll"), QStringLiteral("VK-excl.")};
    case 10:
        return {QStringLiteral("EK-Dat"), QStringLiteral("%/N"),  QStringLiteral("Rab1"),
                QStringLiteral("Rab2"),   QStringLiteral("Rab3"), QStringLiteral("Netto")};
    case 12:
        return {QStringLiteral("Code"), QStringLiteral("Bezeichnung")};
    case 13:
        return {QStringLiteral("Art.-Nr"), QStringLiteral("Bezeichnung")};
    default:
        return {};
    }
}

bool PositionLists::contains(int list, const QString& code) const {
    for (const QString& item : items(list))
        if (Piece(item, QStringLiteral("\n"), 1) == code || (item.isEmpty() && code.isEmpty()))
            return true;
    return false;
}

CandidateListModel::CandidateListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CandidateListModel::setRows(QStringList rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CandidateListModel::setAssigned(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    QStringList fields = m_rows[row].split(u'\n');
    while (fields.size() < ColumnCount)
        fields << QString();
    fields[Zugeordnet] = QStringLiteral("J");
    m_rows[row] = fields.join(u'\n');
    emit dataChanged(index(row, Zugeordnet), index(row, Zugeordnet));
}

int CandidateListModel::rowOfArticle(const QString& article) const {
    if (article.isEmpty())
        return -1;
    for (int r = 0; r < m_rows.size(); ++r)
        if (cell(r, ArtNr) == article)
            return r;
    return -1;
}

void CandidateListModel::assignmentChanged(const QString& previous, const QString& article,
                                           bool previousStillAssigned) {
    if (previous == article)
        return;
    if (const int old = rowOfArticle(previous); old >= 0 && !previousStillAssigned) {
        QStringList fields = m_rows[old].split(u'\n');
        if (fields.size() > Zugeordnet) {
            fields[Zugeordnet].clear();
            m_rows[old] = fields.join(u'\n');
            emit dataChanged(index(old, Zugeordnet), index(old, Zugeordnet));
        }
    }
    setAssigned(rowOfArticle(article));
}

QString CandidateListModel::cell(int row, int column) const {
    return m_rows.value(row).section(u'\n', column, column);
}

int CandidateListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CandidateListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CandidateListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column());
    return QVariant();
}

QVariant CandidateListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QVariant();
    static const QString captions[ColumnCount] = {
        QStringLiteral("Best.Nr."), QStringLiteral("Art.-Nr"), QStringLiteral("Bezeichnung"),
        QStringLiteral("Zugeordnet"), QStringLiteral("Aktiv")};
    return captions[section];
}

namespace {

// The first "|"-field of a flag call's answer is "J".
bool flagOf(const Wire::RawTexts& answer) {
    const QByteArrayView v = answer.view(0);
    return v.startsWith('J') && (v.size() == 1 || v[1] == '|');
}

// One load of the grid: the rows of "pos" in batches, the flag calls of
// each row in a pipeline, the rows handed to the model in time slices.
class GridLoad {
public:
    GridLoad(const PositionDownload& download, PositionGridModel& model, ServerClient& server)
        : m_download(download), m_model(model), m_firma(Session().firma),
          m_pipeline(server, PositionLoad::pipelineDepth) {
        m_pipeline.onConfirmedRaw = [this](const Flag& f, const Wire::RawTexts& answer) {
            setFlag(f, answer);
        };
    }

    // Reads every row (until *stop); throws the first ServerError.
    void run(ResultSet& rs, UserInterface& ui, const bool* stop) {
        m_sinceShown.start();
        int counter = 0;
        try {
            for (;;) {
                // The next rows were asked for ahead: the flag answers sent
                // before that request are read first (awaiting it would pass
                // over them).
                if (rs.nextNeedsServer())
                    m_pipeline.settleBefore(rs.aheadRequest());
                if (!rs.next())
                    break;
                take(rs);
                // Events are processed after every 10 rows.
                if (++counter % 10 == 0) {
                    if (m_model.size() == 0
                            ? m_pending.size() >= PositionLoad::firstRows
                            : m_sinceShown.elapsed() >= PositionLoad::showIntervalMs)
                        showPending();
                    ui.processEvents();
                    if (stop && *stop)
                        break;
                }
            }
            showPending();
            m_pipeline.finish();
        } catch (const RequestPipeline<GridLoad::Flag>::Failure& f) {
            showPending();
            throw f.error;
        }
    }

private:
    // The flag call of a row in flight; its answer sets the row's flag.
    struct Flag {
        int row;
        bool vk;
    };

    // A row read: kept until shown, its flag calls sent.
    void take(ResultSet& rs) {
        const int rowIndex = m_model.size() + int(m_pending.size());
        m_pending.append(BuildPositionRow(rs));
        const QString article = rs.getData(PosQuery::ARTNR);
        m_pipeline.send(Wire::Op::ClassMethod,
                        PosClass::getekdat1Request(m_firma, m_download.supplier, article,
                                                   rs.getData(PosQuery::Ekgrp),
                                                   rs.getData(PosQuery::Ekdat)),
                        {rowIndex, false});
        if (!article.isEmpty())
            m_pipeline.send(
                Wire::Op::ClassMethod,
                PosClass::getvkdat1Request(m_firma, article, rs.getData(PosQuery::Vkdat)),
                {rowIndex, true});
    }

    void setFlag(const Flag& f, const Wire::RawTexts& answer) {
        if (!flagOf(answer))
            return;
        if (f.row >= m_model.size()) {
            PositionRow& r = m_pending[f.row - m_model.size()];
            (f.vk ? r.vkFlag : r.ekFlag) = true;
            return;
        }
        const PositionRow& r = m_model.row(f.row);
        m_model.setFlags(f.row, f.vk ? r.ekFlag : true, f.vk ? true : r.vkFlag);
    }

    // Rows reach the model in time slices: the first screenful at once,
    // then what came at most every showIntervalMs, so that the view is
    // laid out and painted a few times a second rather than at every event
    // pass.
    void showPending() {
        m_model.appendRows(std::move(m_pending));
        m_pending.clear();
        m_model.flushChanges();
        m_sinceShown.restart();
    }

    const PositionDownload& m_download;
    PositionGridModel& m_model;
    const QString m_firma;
    QVector<PositionRow> m_pending; // read, not yet shown
    RequestPipeline<Flag> m_pipeline;
    QElapsedTimer m_sinceShown;
};

} // namespace

QStringList PositionLoad::listRows(Connection& connection, const QString& expression) {
    QStringList rows;
    if (expression.isEmpty())
        return rows;
    ResultSet rs = XwClass(connection.client()).liste();
    rs.execute({expression});
    while (rs.next())
        rows << rs.getData(1);
    rs.close();
    return rows;
}

bool PositionLoad::loadLists(Connection& connection, const QString& supplier,
                             PositionLists& lists) {
    lists.reset();
    const bool ok = connection.call(QStringLiteral("FMPos.Timer1 Listen lesen"), [&] {
        const QString expression =
            PosClass(connection.client()).getcombo(Session().firma, supplier);
        for (const QString& row : listRows(connection, expression))
            lists.addComboRow(row);
    });
    lists.addFixedItems();
    return ok;
}

bool PositionLoad::loadGrid(Connection& connection, const PositionDownload& download,
                            PositionGridModel& model, const bool* stop) {
    UserInterface& ui = UI();
    BusyPointer busy(ui);
    ui.processEvents();
    model.clear();
    if (download.key.isEmpty())
        return true;
    bool ok = true;
    try {
        connection.ensure();
        ServerClient& server = connection.client();
        ResultSet rs = PosClass::pos(server);
        rs.setBatchSize(batchRows);
        rs.setReadAhead(true);
        rs.execute({download.key, QString()});
        model.setGathering(true);
        GridLoad(download, model, server).run(rs, ui, stop);
        model.setGathering(false);
        rs.close();
    } catch (const ServerError& e) {
        model.setGathering(false);
        CacheFehlermeldung(connection, e, QStringLiteral("FMPos.Laden Positionen lesen"));
        ok = false;
    }
    return ok;
}

bool PositionLoad::loadCandidates(Connection& connection, const PositionDownload& download,
                                  CandidateListModel& list) {
    list.setRows({});
    QStringList rows;
    const bool ok = connection.call(QStringLiteral("FMPos.libm Artikeldaten lesen"), [&] {
        const QString expression = PosClass(connection.client())
                                       .getposvt(Session().firma, download.supplier, download.key);
        rows = listRows(connection, expression);
    });
    list.setRows(std::move(rows));
    return ok;
}

QString PositionWindowCaption(const PositionDownload& download) {
    return QStringLiteral("Quendra Preisdaten - Positionen   ") + download.supplier + u' ' +
           download.supplierName;
}
