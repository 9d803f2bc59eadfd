#include "PositionLoad.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/TextHelpers.h"
#include "server/RequestPipeline.h"
#include "server/ServerConnection.h"

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

} // namespace

QStringList PositionLoad::listRows(const QString& expression) {
    QStringList rows;
    if (expression.isEmpty())
        return rows;
    ResultSet rs = Factory().resultSet(QStringLiteral("VT.XW"), QStringLiteral("Liste"));
    rs.execute({expression});
    while (rs.next())
        rows << rs.getData(1);
    rs.close();
    return rows;
}

bool PositionLoad::isFlagSet(const QString& answer) {
    return Piece(answer, QStringLiteral("|"), 1) == u"J";
}

bool PositionLoad::loadLists(const QString& supplier, PositionLists& lists) {
    lists.reset();
    const bool ok = ServerCall(QStringLiteral("FMPos.Timer1 Listen lesen"), [&] {
        ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.pos"));
        QStringList args{Session().firma, supplier};
        const QString expression = h.call(QStringLiteral("getcombo"), args);
        CloseObject(h);
        if (expression.isEmpty())
            return;
        for (const QString& row : listRows(expression))
            lists.addComboRow(row);
    });
    lists.addFixedItems();
    return ok;
}

bool PositionLoad::loadGrid(const PositionDownload& download, PositionGridModel& model,
                            const bool* stop) {
    UserInterface& ui = UI();
    BusyPointer busy(ui);
    ui.processEvents();
    model.clear();
    if (download.key.isEmpty())
        return true;
    const QString firma = Session().firma;
    bool ok = true;
    try {
        ServerCallScope scope;
        ServerClient& server = Factory();
        ResultSet rs = server.resultSet(QStringLiteral("quendrap.pos"), QStringLiteral("pos"));
        rs.setBatchSize(batchRows);
        rs.setReadAhead(true);
        rs.execute({download.key, QString()});

        // The flag calls of the rows in flight; each answer sets its row.
        struct Flag {
            int row;
            bool vk;
        };
        QVector<PositionRow> pending; // read, not yet shown
        RequestPipeline<Flag> pipeline(server, pipelineDepth);
        pipeline.onConfirmedRaw = [&](const Flag& f, const Wire::RawTexts& answer) {
            if (!flagOf(answer))
                return;
            if (f.row >= model.size()) {
                PositionRow& r = pending[f.row - model.size()];
                (f.vk ? r.vkFlag : r.ekFlag) = true;
                return;
            }
            const PositionRow& r = model.row(f.row);
            model.setFlags(f.row, f.vk ? r.ekFlag : true, f.vk ? true : r.vkFlag);
        };
        const QString posClass = QStringLiteral("quendrap.pos");
        const QStringList ekCall{posClass, kEkFlagMethod};
        const QStringList vkCall{posClass, kVkFlagMethod};
        model.setGathering(true);
        // Rows reach the model in time slices: the first screenful at once,
        // then what came at most every showIntervalMs, so that the view is
        // laid out and painted a few times a second rather than at every
        // event pass.
        QElapsedTimer sinceShown;
        sinceShown.start();
        auto showPending = [&] {
            model.appendRows(std::move(pending));
            pending.clear();
            model.flushChanges();
            sinceShown.restart();
        };
        int counter = 0;
        try {
            for (;;) {
                // The next rows were asked for ahead: the flag answers sent
                // before that request are read first (awaiting it would pass
                // over them).
                if (rs.nextNeedsServer())
                    pipeline.settleBefore(rs.aheadRequest());
                if (!rs.next())
                    break;
                const int rowIndex = model.size() + int(pending.size());
                pending.append(BuildPositionRow(rs));
                const QString article = rs.getData(articleColumn());
                pipeline.send(Wire::Op::ClassMethod,
                              ekCall + ekFlagArguments(firma, download.supplier, article,
                                                       rs.getData(ekGroupColumn()),
                                                       rs.getData(ekDateColumn())),
                              {rowIndex, false});
                if (!article.isEmpty())
                    pipeline.send(Wire::Op::ClassMethod,
                                  vkCall +
                                      vkFlagArguments(firma, article, rs.getData(vkDateColumn())),
                                  {rowIndex, true});
                // Events are processed after every 10 rows.
                if (++counter % 10 == 0) {
                    if (model.size() == 0 ? pending.size() >= firstRows
                                          : sinceShown.elapsed() >= showIntervalMs)
                        showPending();
                    ui.processEvents();
                    if (stop && *stop)
                        break;
                }
            }
            showPending();
            pipeline.finish();
        } catch (const RequestPipeline<Flag>::Failure& f) {
            showPending();
            throw f.error;
        }
        model.setGathering(false);
        rs.close();
    } catch (const ServerError& e) {
        model.setGathering(false);
        CacheFehlermeldung(e, QStringLiteral("FMPos.Laden Positionen lesen"));
        ok = false;
    }
    return ok;
}

bool PositionLoad::loadCandidates(const PositionDownload& download, CandidateListModel& list) {
    list.setRows({});
    QStringList rows;
    const bool ok = ServerCall(QStringLiteral("FMPos.libm Artikeldaten lesen"), [&] {
        ClassHandle h = Factory().classHandle(QStringLiteral("quendrap.pos"));
        QStringList args{Session().firma, download.supplier, download.key};
        const QString expression = h.call(QStringLiteral("getposvt"), args);
        CloseObject(h);
        if (!expression.isEmpty())
            rows = listRows(expression);
    });
    list.setRows(std::move(rows));
    return ok;
}

QString PositionWindowCaption(const PositionDownload& download) {
    return QStringLiteral("Quendra Preisdaten - Positionen   ") + download.supplier + u' ' +
           download.supplierName;
}
