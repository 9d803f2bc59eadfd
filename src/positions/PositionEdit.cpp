#include "PositionEdit.h"

#include "base/SessionContext.h"
#include "base/UserInterface.h"
#include "common/ErpForms.h"
#include "common/PositionLineRules.h"
#include "common/PriceCalculation.h"
#include "common/TextHelpers.h"
#include "import/SupplierDefaults.h"
#include "server/Connection.h"
#include "server/ErrorReport.h"
#include "server/PosClass.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <cmath>

using namespace PositionGrid;

std::optional<QString> ListedPrompts::askNumber(const QString& prompt, const QString&) {
    asked << prompt;
    if (m_answers.isEmpty())
        return std::nullopt;
    return m_answers.takeFirst();
}

bool ParseTypedNumber(const QString& text, double* value) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    static const QLocale german(QLocale::German, QLocale::Germany);
    // With a comma the points group thousands; a single point without a
    // comma is a decimal point.
    if (!t.contains(u',') && t.count(u'.') == 1)
        *value = QLocale::c().toDouble(t, &ok);
    else
        *value = german.toDouble(t, &ok);
    return ok && std::isfinite(*value);
}

int TypedDecimals(const QString& text) {
    const QString t = text.trimmed();
    qsizetype separator = t.lastIndexOf(u',');
    if (separator < 0 && t.count(u'.') == 1)
        separator = t.indexOf(u'.');
    return separator < 0 ? 0 : int(t.size() - separator - 1);
}

namespace {

// The date of the two date list columns as typed ("99/99/9999", or with
// points); "" for an empty mask, nullopt for no valid date.
std::optional<QString> typedDate(const QString& typed) {
    QString t = typed;
    t.remove(u' ');
    if (t.isEmpty() || t == u"//" || t == u"..")
        return QString();
    t.replace(u'/', u'.');
    const QDate d = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
    if (!d.isValid())
        return std::nullopt;
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

// The grid's "dd/mm/yyyy" of the date list columns in the server's form.
QString serverDate(const QString& gridText) {
    QString t = gridText;
    if (t.size() >= 3 && t[2] == u'/')
        t[2] = u'.';
    if (t.size() >= 6 && t[5] == u'/')
        t[5] = u'.';
    return t;
}

// The cell of a row in the server's form.
QString serverValue(const PositionRow& r, int column) {
    const PositionColumn& col = ColumnOf(column);
    switch (col.kind) {
    case CellKind::Number:
        return r.hasNumber(column) ? ErpNumber(r.number(column), col.decimals) : QString();
    case CellKind::Date:
        return r.date.isValid() ? r.date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
    case CellKind::Text:
    case CellKind::List:
        break;
    }
    const QString t = r.text(column);
    return column == EkDatAb || column == VkDatAb ? serverDate(t) : t;
}

// The property a column's value is written to; none for "Spanne", which
// the server works out itself from the prices it is given.
QString propertyOf(int column) {
    const char16_t* p = ColumnOf(column).property;
    return p ? QString::fromUtf16(p) : QString();
}

// Asks each prompt once and gives the same answer for the other rows.
class OncePrompts : public EditPrompts {
public:
    explicit OncePrompts(EditPrompts& inner) : m_inner(inner) {}
    std::optional<QString> askNumber(const QString& prompt, const QString& proposal) override {
        auto it = m_answers.constFind(prompt);
        if (it != m_answers.constEnd())
            return *it;
        const auto answer = m_inner.askNumber(prompt, proposal);
        m_answers.insert(prompt, answer);
        return answer;
    }

private:
    EditPrompts& m_inner;
    QHash<QString, std::optional<QString>> m_answers;
};

} // namespace

PositionEditor::PositionEditor(Connection& connection, PositionGridModel& model,
                               PositionLists& lists, PositionDownload download)
    : m_connection(connection), m_model(model), m_lists(lists), m_download(std::move(download)) {}

bool PositionEditor::loadDefaults() {
    bool ok = false;
    const SupplierDefaults d = LoadSupplierDefaults(m_connection, m_download.supplier, &ok);
    double step = 0;
    m_rounding = ParseTypedNumber(d.rundung, &step) && step > 0 ? step : 0.01;
    return ok;
}

int PositionEditor::rowOf(const QString& positionId) const {
    for (int r = 0; r < m_model.size(); ++r)
        if (m_model.row(r).id == positionId)
            return r;
    return -1;
}

int PositionEditor::rowOfArticle(const QString& article, int skipRow) const {
    if (article.isEmpty())
        return -1;
    for (int r = 0; r < m_model.size(); ++r)
        if (r != skipRow && m_model.row(r).text(ArtNr) == article)
            return r;
    return -1;
}

bool PositionEditor::reject(const QString& message) {
    m_message = message;
    if (!m_quiet && !message.isEmpty())
        UI().message(message, QString(), MessageIcon::Information, MessageButtons::Ok);
    return false;
}

void PositionEditor::beginEdit(int row, int column) {
    if (row < 0 || row >= m_model.size())
        return;
    const PositionRow& r = m_model.row(row);
    const bool all = column < 0;
    if (all || column == BeEinh) {
        // List 11: the row's sales and packing unit, with the unit's text.
        QStringList& units = m_lists.items(11);
        units.clear();
        for (const QString& code : {r.text(Vke), r.text(Vpe)}) {
            if (code.isEmpty() || m_lists.contains(11, code))
                continue;
            QString text;
            for (const QString& item : m_lists.items(4))
                if (item.section(u'\n', 0, 0) == code)
                    text = item.section(u'\n', 1, 1);
            units << code + u'\n' + text;
        }
    }
    if (!all && column != EkDatAb && column != VkDatAb)
        return;
    const QString article = r.text(ArtNr);
    const QString group = r.text(EkRabgr);
    QStringList ek;
    QStringList vk;
    m_connection.call(QStringLiteral("FMPos.lipos Listen lesen"), [&] {
        PosClass pos(m_connection.client());
        if (all || column == EkDatAb)
            ek = PositionLoad::listRows(
                m_connection, pos.getekdat(Session().firma, m_download.supplier, article, group));
        if (all || column == VkDatAb)
            vk = PositionLoad::listRows(m_connection, pos.getvkdat(Session().firma, article));
    });
    if (all || column == EkDatAb)
        m_lists.items(10) = ek;
    if (all || column == VkDatAb)
        m_lists.items(9) = vk;
}

std::optional<QString> PositionEditor::checked(int row, int column, const QString& typed) {
    const PositionRow& r = m_model.row(row);
    const PositionColumn& col = ColumnOf(column);
    const QString t = typed.trimmed();
    auto no = [this](const QString& message) -> std::optional<QString> {
        m_message = message;
        return std::nullopt;
    };
    if (column == EkDatAb || column == VkDatAb) {
        const auto date = typedDate(t);
        if (!date)
            return no(kBadDateMessage);
        return *date;
    }
    switch (col.kind) {
    case CellKind::Number: {
        if (t.isEmpty())
            return QString();
        double v = 0;
        const int whole = col.digits - col.decimals;
        if (!ParseTypedNumber(t, &v) || std::fabs(v) >= std::pow(10.0, whole) ||
            TypedDecimals(t) > col.decimals)
            return no(QStringLiteral("Keine gültige Zahl: höchstens %1 Stellen vor und %2 nach "
                                     "dem Komma")
                          .arg(whole)
                          .arg(col.decimals));
        // More than all of a price off, or a surcharge as a discount, gives
        // a net price below zero.
        if (column >= Rab1 && column <= Rab4 && (v < 0 || v > 100))
            return no(kDiscountRangeMessage);
        return ErpNumber(v, col.decimals);
    }
    case CellKind::Date:
        return no(kBadDateMessage);
    case CellKind::List:
        if (column == BeEinh) {
            if (t.isEmpty() || (t != r.text(Vke) && t != r.text(Vpe)))
                return no(kEbeMessage);
            return t;
        }
        if (!m_lists.contains(col.list, t))
            return no(QStringLiteral("Ungültiger Code: ") + t);
        if ((column == Vpe && !t.isEmpty() && t == r.text(Vke)) ||
            (column == Vke && !t.isEmpty() && t == r.text(Vpe)))
            return no(kVpeIsVkeMessage);
        if ((column == Vre && !t.isEmpty() && t == r.text(Vke)) ||
            (column == Vke && !t.isEmpty() && t == r.text(Vre)))
            return no(kVreIsVkeMessage);
        return t;
    case CellKind::Text:
        break;
    }
    if (const QChar c = FirstUnstorableChar(t); !c.isNull())
        return no(UnstorableCharMessage(c));
    if (column == BestEan && !t.isEmpty()) {
        if (t.size() != 8 && t.size() != 13)
            return no(kEanLengthMessage);
        for (const QChar c : t)
            if (!c.isDigit())
                return no(QStringLiteral("Bestell-EAN darf nur Ziffern enthalten"));
    }
    // A text without a length of its own has the ERP's length of a code.
    const int most = col.digits > 0 ? col.digits : PositionLineRules::kMaxCode;
    if (t.size() > most)
        return no(QStringLiteral("Text zu lang: höchstens %1 Zeichen").arg(most));
    return t;
}

bool PositionEditor::edit(int row, int column, const QString& value, EditPrompts& prompts) {
    m_message.clear();
    if (row < 0 || row >= m_model.size())
        return reject(QStringLiteral("Keine solche Zeile"));
    if (column == ArtNr) {
        const Assignment result = assign(value.trimmed(), row, m_model.row(row).text(ArtNr));
        if (result.outcome == Assignment::Outcome::Assigned)
            return true;
        return reject(result.message());
    }
    if (!m_model.isEditable(row, column))
        return reject(QStringLiteral("Die Zelle kann nicht bearbeitet werden"));
    const auto v = checked(row, column, value);
    if (!v)
        return reject(m_message);
    const PositionRow& r = m_model.row(row);
    Changes changes{{column, *v}};

    // A unit change asks for the factor that goes with it.
    auto ask = [&](const QString& prompt, int factorColumn, const QString& proposal) {
        const auto answer = prompts.askNumber(prompt, proposal);
        if (!answer)
            return reject(kCancelledMessage);
        double f = 0;
        if (!ParseTypedNumber(*answer, &f) || f <= 0)
            return reject(QStringLiteral("Keine gültige Zahl: ") + *answer);
        changes << qMakePair(factorColumn, ErpNumber(f, ColumnOf(factorColumn).decimals));
        return true;
    };
    auto shown = [](const PositionRow& row_, int c) {
        return row_.hasNumber(c) ? FormatNumber(row_.number(c), ColumnOf(c).decimals) : QString();
    };
    if (column == BeEinh && *v != serverValue(r, BeEinh)) {
        if (*v == r.text(Vke))
            changes << qMakePair(int(Fakt), QStringLiteral("1"));
        else if (!ask(QStringLiteral("Eingabe Faktor"), Fakt,
                      r.hasNumber(Vpi) ? shown(r, Vpi) : shown(r, Fakt)))
            return false;
    }
    if (column == Vre && !v->isEmpty() && *v != r.text(Vre) &&
        !ask(QStringLiteral("Eingabe VRM"), Vrm, shown(r, Vrm)))
        return false;
    if (column == Ere && *v != r.text(Ere) &&
        !ask(QStringLiteral("Eingabe EVM"), Evm, shown(r, Evm)))
        return false;

    if (!addDependents(row, changes))
        return false;
    // Only what differs from what the server holds is written.
    Changes written;
    for (const auto& c : std::as_const(changes))
        if (serverValue(m_model.row(row), c.first) != c.second)
            written << c;
    if (written.isEmpty())
        return true;
    if (!writeBack(row, written))
        return false;
    for (const auto& c : std::as_const(written))
        m_model.setServerValue(row, c.first, c.second);
    for (const auto& c : std::as_const(written))
        if (c.first == Epm || c.first == Ere) {
            const PositionRow& now = m_model.row(row);
            m_model.setServerValue(row, EkPer, serverValue(now, Epm) + u' ' + now.text(Ere));
            break;
        }
    if (column == EkRabgr || column == EkDatAb || column == VkDatAb)
        refreshFlags(row);
    return true;
}

bool PositionEditor::addDependents(int row, Changes& changes) {
    const PositionRow& r = m_model.row(row);
    const int edited = changes.first().first;
    auto text = [&](int c) {
        for (const auto& ch : std::as_const(changes))
            if (ch.first == c)
                return ch.second;
        return serverValue(r, c);
    };
    auto num = [&](int c) {
        double v = 0;
        return ParseServerNumber(text(c), &v) ? v : 0.0;
    };
    auto set = [&](int c, const QString& value) {
        for (auto& ch : changes)
            if (ch.first == c) {
                ch.second = value;
                return;
            }
        changes << qMakePair(c, value);
    };

    if (edited == Wargr) {
        // The goods group brings its sales discount group, department and
        // VAT rate.
        QString data;
        if (!m_connection.call(QStringLiteral("FMPos.lipos Warengruppe lesen"), [&] {
                data = PosClass(m_connection.client()).getwgdaten(Session().firma, text(Wargr));
            }))
            return false;
        set(VkRabgr, text(Wargr).isEmpty() ? QString() : text(Wargr) + QStringLiteral(".A"));
        if (!data.isEmpty()) {
            set(Abt, data.section(u'|', 0, 0));
            set(Ust, data.section(u'|', 1, 1));
        }
        if (!text(VkExcl).isEmpty())
            set(VkIncl, ErpNumber(PriceCalculation::SalesIncl(num(VkExcl), num(Ust)), 2));
        return true;
    }

    static const QList<int> costInputs{Brutto, RabTyp, Rab1,      Rab1 + 1, Rab1 + 2, Rab4,
                                       Netto,  Fakt,   Nebenkost, Epm,      KfSoll,   BeEinh};
    if (!costInputs.contains(edited) && edited != VkExcl && edited != VkIncl && edited != Ust)
        return true;
    const bool percent = text(RabTyp) == u"%";
    if (percent && edited != Netto && edited != Ust) {
        const double rab[4] = {num(Rab1), num(Rab1 + 1), num(Rab1 + 2), num(Rab4)};
        set(Netto, ErpNumber(PriceCalculation::NetPrice(num(Brutto), rab), 4));
    }
    const double cost = PriceCalculation::UnitCost(num(Netto), num(Epm), num(Nebenkost), num(Fakt));
    const double vat = num(Ust);
    // With a sales price of that date in the ERP the sales prices stay as
    // they are (their cells are locked); only the margin follows.
    const bool salesFixed = r.vkFlag;
    double excl = num(VkExcl);
    if (edited == VkExcl) {
        set(KfSoll, ErpNumber(PriceCalculation::KfSoll(excl, cost), 4));
        set(VkIncl, ErpNumber(PriceCalculation::SalesIncl(excl, vat), 2));
    } else if (edited == VkIncl) {
        excl = PriceCalculation::SalesExclFromIncl(num(VkIncl), vat);
        set(VkExcl, ErpNumber(excl, 2));
        set(KfSoll, ErpNumber(PriceCalculation::KfSoll(excl, cost), 4));
    } else if (edited == Ust) {
        if (!text(VkExcl).isEmpty())
            set(VkIncl, ErpNumber(PriceCalculation::SalesIncl(excl, vat), 2));
    } else if (!salesFixed && num(KfSoll) > 0) {
        excl = PriceCalculation::SalesExcl(cost, num(KfSoll), m_rounding);
        set(VkExcl, ErpNumber(excl, 2));
        set(VkIncl, ErpNumber(PriceCalculation::SalesIncl(excl, vat), 2));
    }
    set(Spanne, ErpNumber(PriceCalculation::Margin(excl, cost), 2));
    return true;
}

bool PositionEditor::writeBack(int row, const Changes& changes) {
    const QString id = m_model.row(row).id;
    return m_connection.call(QStringLiteral("FMPos.lipos Position speichern"), [&] {
        ServerObject pos = PosClass::open(m_connection.client(), id);
        for (const auto& c : changes) {
            const QString property = propertyOf(c.first);
            if (!property.isEmpty())
                pos.set(property, c.second);
        }
        pos.save();
        pos.close();
    });
}

std::pair<bool, bool> PositionEditor::askFlags(const QString& article, const QString& group,
                                               const QString& ekDate, const QString& vkDate) {
    // The flag calls of the grid load, for one row: EK date flag, and the
    // VK date flag of an assigned position.
    PosClass pos(m_connection.client());
    const bool ek = pos.getekdat1(Session().firma, m_download.supplier, article, group, ekDate);
    const bool vk = !article.isEmpty() && pos.getvkdat1(Session().firma, article, vkDate);
    return {ek, vk};
}

void PositionEditor::refreshFlags(int row) {
    const PositionRow& r = m_model.row(row);
    std::pair<bool, bool> flags;
    // A failed call leaves the flags (and the styles) as they were.
    if (m_connection.call(QStringLiteral("FMPos.lipos Daten prüfen"), [&] {
            flags = askFlags(r.text(ArtNr), r.text(EkRabgr), serverDate(r.text(EkDatAb)),
                             serverDate(r.text(VkDatAb)));
        }))
        m_model.setFlags(row, flags.first, flags.second);
}

QString Assignment::message() const {
    switch (outcome) {
    case Outcome::Assigned:
        return QString();
    case Outcome::AlreadyAssigned:
        return kAlreadyAssignedMessage;
    case Outcome::NotStored:
        break;
    }
    return kNotStoredMessage;
}

Assignment PositionEditor::assign(const QString& article, int row, const QString& previous) {
    const Assignment notStored{Assignment::Outcome::NotStored};
    if (row < 0 || row >= m_model.size())
        return notStored;
    // An article that another row already has is never sent.
    if (const int other = rowOfArticle(article, row); other >= 0)
        return {Assignment::Outcome::AlreadyAssigned, other};
    const QString id = m_model.row(row).id;
    bool stored = false;
    if (!m_connection.call(QStringLiteral("FMPos.anrzuord Artikel zuordnen"),
                           [&] {
                               stored = PosClass(m_connection.client())
                                            .anrzuord(Session().firma, id, article,
                                                      m_download.supplier, previous);
                           }) ||
        !stored)
        return notStored;
    // The server holds the new article; when the row cannot be read back
    // (the error report was shown) it shows at least that.
    if (!rebuildRow(row))
        m_model.setServerValue(row, ArtNr, article);
    return {Assignment::Outcome::Assigned};
}

int PositionEditor::anrzuord(const QString& article, int row, const QString& previous) {
    const Assignment a = assign(article, row, previous);
    switch (a.outcome) {
    case Assignment::Outcome::Assigned:
        return -1;
    case Assignment::Outcome::AlreadyAssigned:
        return a.otherRow;
    case Assignment::Outcome::NotStored:
        break;
    }
    return -2;
}

bool PositionEditor::rebuildRow(int row) {
    const QString id = m_model.row(row).id;
    bool found = false;
    const bool ok = m_connection.call(QStringLiteral("FMPos.anrzuord Position lesen"), [&] {
        ResultSet rs = PosClass::pos(m_connection.client());
        rs.execute({id, m_download.key});
        if (!rs.next())
            return;
        PositionRow rebuilt = BuildPositionRow(rs);
        std::tie(rebuilt.ekFlag, rebuilt.vkFlag) =
            askFlags(rs.getData(PosQuery::ARTNR), rs.getData(PosQuery::Ekgrp),
                     rs.getData(PosQuery::Ekdat), rs.getData(PosQuery::Vkdat));
        rs.close();
        m_model.replaceRow(row, std::move(rebuilt));
        found = true;
    });
    return ok && found;
}

int PositionEditor::rowOfCandidate(const CandidateListModel& candidates, int candidateRow) const {
    return rowOfArticle(candidates.cell(candidateRow, CandidateListModel::ArtNr));
}

int PositionEditor::assignCandidate(CandidateListModel& candidates, int candidateRow,
                                    int currentRow, int nextRow) {
    const QString article = candidates.cell(candidateRow, CandidateListModel::ArtNr);
    if (candidateRow < 0 || article.isEmpty() || currentRow < 0 || currentRow >= m_model.size())
        return -1;
    const Assignment result = assign(article, currentRow, article);
    if (result.outcome == Assignment::Outcome::Assigned) {
        candidates.setAssigned(candidateRow);
        // On to the next row, so that row after row is assigned by
        // double-clicks.
        if (nextRow == -2)
            nextRow = currentRow + 1 < m_model.size() ? currentRow + 1 : -1;
        return nextRow >= 0 ? nextRow : currentRow;
    }
    reject(result.message());
    return result.otherRow;
}

QList<int> PositionEditor::BatchColumns() {
    QList<int> columns;
    for (int c = 0; c < kColumns; ++c) {
        // "per" and "% Abw." are always locked.
        if (c == ArtNr || c == EkPer || c == Abweichung || !ColumnOf(c).property)
            continue;
        columns << c;
    }
    return columns;
}

QList<QPair<int, QString>> PositionEditor::setOnRows(const QList<int>& rows, int column,
                                                     const QString& value, EditPrompts& prompts) {
    OncePrompts once(prompts);
    QList<QPair<int, QString>> failures;
    const bool quiet = m_quiet;
    m_quiet = true;
    bool serverFailed = false;
    for (int row : rows) {
        if (serverFailed) {
            failures << qMakePair(row, QStringLiteral("nicht gesetzt nach einem Serverfehler"));
            continue;
        }
        if (edit(row, column, value, once))
            continue;
        // A refusal of the checks has its message; a failed server call
        // showed the error report, and the rows after it are left alone.
        if (m_message.isEmpty()) {
            serverFailed = true;
            // Lost on the way or not answered in time, it may be stored
            // all the same.
            failures << qMakePair(row, OutcomeUnknown(m_connection.lastReportedError())
                                           ? QStringLiteral("Ergebnis unbekannt")
                                           : QStringLiteral("nicht gespeichert"));
        } else {
            failures << qMakePair(row, m_message);
        }
    }
    m_quiet = quiet;
    return failures;
}
