#include "TraceLog.h"

#include <QDateTime>
#include <QFile>

TraceLogModel& TraceLogModel::instance() {
    static TraceLogModel model;
    return model;
}

void TraceLogModel::add(const QString& part, const QString& text, const QString& parameter) {
    beginInsertRows(QModelIndex(), 0, 0);
    m_entries.prepend(Entry{part, text, parameter});
    endInsertRows();
    if (m_entries.size() > kMaxRows) {
        beginRemoveRows(QModelIndex(), kMaxRows, int(m_entries.size()) - 1);
        m_entries.resize(kMaxRows);
        endRemoveRows();
    }
}

void TraceLogModel::clear() {
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

int TraceLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int TraceLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TraceLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_entries.size() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Entry& e = m_entries[index.row()];
    switch (index.column()) {
    case 0:
        return e.part;
    case 1:
        return e.text;
    case 2:
        return e.parameter;
    default:
        return {};
    }
}

QVariant TraceLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Programmteil");
    case 1:
        return QStringLiteral("Text");
    case 2:
        return QStringLiteral("Parameter");
    default:
        return {};
    }
}

namespace {

void appendToFile(const QString& part, const QString& text, const QString& parameter) {
    static const QString path = qEnvironmentVariable("QUENDRA_TRACE_FILE");
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::Append | QIODevice::Text))
        return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + u'\t' + part +
                         u'\t' + text + u'\t' + parameter + u'\n';
    f.write(line.toUtf8());
}

} // namespace

void TraceLog(const QString& part, const QString& text, const QString& parameter, int level) {
    if (level < 0 || level > 254)
        return;
    StatusText(part, text, parameter);
}

void StatusText(const QString& part, const QString& text, const QString& parameter) {
    TraceLogModel::instance().add(part, text, parameter);
    appendToFile(part, text, parameter);
}
