#include "DemoData.h"

#include "StandinEngine.h"
#include "classes/ErpPositions.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace {

const QString kFormat = QStringLiteral("veltar-standin demo data 1");

QString erpForm(const QString& text) {
    return ConvertText(text, QStringLiteral("GUIVELTAR"), false);
}

void insert(StandinEngine& e, const QString& className, const QHash<QString, QString>& values) {
    StoredObject o;
    o.cls = e.findClass(className);
    o.values = values;
    e.saveObject(o);
}

// Runs the companies of a demo data file on an engine. Every fault of the
// file is thrown as std::runtime_error naming the file, the company and the
// step.
class DemoLoader {
public:
    DemoLoader(StandinEngine& engine, QString file) : m_e(engine), m_file(std::move(file)) {}

    QJsonArray read() {
        QFile f(m_file);
        if (!f.open(QIODevice::ReadOnly))
            fault(QStringLiteral("cannot be read: ") + f.errorString());
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
        if (doc.isNull())
            fault(QStringLiteral("not valid JSON: %1 at offset %2")
                      .arg(error.errorString())
                      .arg(error.offset));
        if (doc.object().value(QStringLiteral("format")).toString() != kFormat)
            fault(
                QStringLiteral("not a demo data file (\"format\": \"%1\" expected)").arg(kFormat));
        return list(doc.object(), QStringLiteral("companies"));
    }

    // A company that the database does not hold yet (its meta key is not
    // "1"): its steps in order, then the key.
    void run(const QJsonArray& companies) {
        for (qsizetype c = 0; c < companies.size(); ++c) {
            m_where = QStringLiteral("company %1").arg(c + 1);
            const QJsonObject company = object(companies[c], QStringLiteral("the company"));
            const QString meta = text(company, QStringLiteral("meta"));
            if (m_e.meta(meta) == u"1")
                continue;
            StandinTransaction t(m_e);
            const QJsonArray steps = list(company, QStringLiteral("steps"));
            for (qsizetype s = 0; s < steps.size(); ++s) {
                m_where = QStringLiteral("company %1, step %2").arg(c + 1).arg(s + 1);
                step(object(steps[s], QStringLiteral("the step")));
            }
            m_e.setMeta(meta, QStringLiteral("1"));
            t.commit();
        }
    }

private:
    [[noreturn]] void fault(const QString& what) const {
        const QString where = m_where.isEmpty() ? QString() : m_where + QStringLiteral(": ");
        throw std::runtime_error(
            (QStringLiteral("demo data ") + m_file + QStringLiteral(": ") + where + what)
                .toStdString());
    }

    QString text(const QJsonValue& v, const QString& what) const {
        if (!v.isString())
            fault(what + QStringLiteral(" is no text"));
        return v.toString();
    }
    QString text(const QJsonObject& o, const QString& key) const {
        return text(o.value(key), u'"' + key + u'"');
    }
    QStringList texts(const QJsonValue& v, const QString& what) const {
        if (!v.isArray())
            fault(what + QStringLiteral(" is no list"));
        QStringList out;
        for (const QJsonValue& item : v.toArray())
            out << text(item, what + QStringLiteral(" item"));
        return out;
    }
    QStringList texts(const QJsonObject& o, const QString& key) const {
        return texts(o.value(key), u'"' + key + u'"');
    }
    QJsonArray list(const QJsonObject& o, const QString& key) const {
        const QJsonValue v = o.value(key);
        if (!v.isArray())
            fault(u'"' + key + QStringLiteral("\" is no list"));
        return v.toArray();
    }
    QJsonObject object(const QJsonValue& v, const QString& what) const {
        if (!v.isObject())
            fault(what + QStringLiteral(" is no object"));
        return v.toObject();
    }
    // An object under key; an empty one when the key is missing.
    QJsonObject optionalObject(const QJsonObject& o, const QString& key) const {
        return o.contains(key) ? object(o.value(key), u'"' + key + u'"') : QJsonObject();
    }
    // The columns a step names (it need not) must be the ones its rows are
    // read by.
    void expectColumns(const QJsonObject& s, const QStringList& expected) const {
        if (s.contains(QStringLiteral("columns")) &&
            texts(s, QStringLiteral("columns")) != expected)
            fault(QStringLiteral("\"columns\" must be ") + expected.join(QStringLiteral(", ")));
    }

    void step(const QJsonObject& s) {
        if (s.contains(QStringLiteral("class")))
            objects(s);
        else if (s.contains(QStringLiteral("global")))
            m_e.setGlobal(text(s, QStringLiteral("global")), texts(s, QStringLiteral("subscripts")),
                          text(s, QStringLiteral("value")));
        else if (s.contains(QStringLiteral("discountGroup"))) // it names its download
            discountGroup(s);
        else if (s.contains(QStringLiteral("download")))
            download(s);
        else if (s.contains(QStringLiteral("webData")))
            webData(s);
        else
            fault(QStringLiteral("no \"class\", \"global\", \"discountGroup\", \"download\" or "
                                 "\"webData\""));
    }

    // Objects of a class: each row's values under the columns over the
    // defaults; the properties of "erpTexts" in the ERP's 7-bit form.
    void objects(const QJsonObject& s) {
        const QString className = text(s, QStringLiteral("class"));
        const ClassDef* cls = m_e.findClass(className);
        if (!cls || cls->table.isEmpty())
            fault(QStringLiteral("no stored class ") + className);
        const QStringList columns = texts(s, QStringLiteral("columns"));
        const QStringList erpTexts = s.contains(QStringLiteral("erpTexts"))
                                         ? texts(s, QStringLiteral("erpTexts"))
                                         : QStringList();
        QHash<QString, QString> defaults;
        const QJsonObject given = optionalObject(s, QStringLiteral("defaults"));
        for (auto it = given.begin(); it != given.end(); ++it)
            defaults.insert(it.key(), text(it.value(), u'"' + it.key() + u'"'));
        for (const QString& p : columns + defaults.keys() + erpTexts)
            if (!cls->properties.contains(p))
                fault(QStringLiteral("no property ") + className + u'.' + p);
        const QJsonArray rows = list(s, QStringLiteral("rows"));
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const QStringList row = texts(rows[r], QStringLiteral("row %1").arg(r + 1));
            if (row.size() != columns.size())
                fault(QStringLiteral("row %1 has %2 value(s) for %3 columns")
                          .arg(r + 1)
                          .arg(row.size())
                          .arg(columns.size()));
            QHash<QString, QString> values = defaults;
            for (qsizetype c = 0; c < columns.size(); ++c)
                values.insert(columns[c], row[c]);
            for (const QString& p : erpTexts)
                values[p] = erpForm(values.value(p));
            insert(m_e, className, values);
        }
    }

    // A download whose positions are stored as savezeile stores them:
    // assigned by EAN or order number, the grid fields filled from the ERP.
    // Later steps name it by its label.
    void download(const QJsonObject& s) {
        const QString label = text(s, QStringLiteral("download"));
        const QJsonObject given =
            object(s.value(QStringLiteral("values")), QStringLiteral("\"values\""));
        expectColumns(s, {QStringLiteral("herst"), QStringLiteral("ean"), QStringLiteral("bestnr"),
                          QStringLiteral("text"), QStringLiteral("unit"), QStringLiteral("price"),
                          QStringLiteral("group")});
        StoredObject d;
        d.cls = m_e.findClass(erp::Downloads::kClass);
        for (auto it = given.begin(); it != given.end(); ++it)
            d.values.insert(it.key(), text(it.value(), u'"' + it.key() + u'"'));
        m_e.saveObject(d);
        m_downloads.insert(label, d.id);
        const QString firma = d.values.value(QStringLiteral("Firma"));
        const QString lnr = d.values.value(QStringLiteral("LNR"));
        const QString priceDate = text(s, QStringLiteral("priceDate"));
        QHash<QString, QStringList> cache;
        PositionFiller filler(m_e, cache);
        const QJsonArray positions = list(s, QStringLiteral("positions"));
        for (qsizetype i = 0; i < positions.size(); ++i) {
            // herst, ean, bestnr, text, unit, price, group
            const QStringList p = texts(positions[i], QStringLiteral("position %1").arg(i + 1));
            if (p.size() != 7)
                fault(QStringLiteral("position %1 has %2 value(s) for 7").arg(i + 1).arg(p.size()));
            filler.store(d.id, firma, lnr,
                         {p[0], p[1], p[2], p[3], p[4], p[4], p[4], QStringLiteral("1"),
                          QStringLiteral("1"), priceDate, p[5], QStringLiteral("1"), p[6],
                          QStringLiteral("Baustoffe")},
                         QStringLiteral("N"));
        }
    }

    // What the buyer entered in the discount group window for a supplier
    // group of a download.
    void discountGroup(const QJsonObject& s) {
        const QString label = text(s, QStringLiteral("download"));
        if (!m_downloads.contains(label))
            fault(QStringLiteral("no download ") + label + QStringLiteral(" before"));
        const QString id = m_e.textValue(
            QStringLiteral("SELECT id FROM quendrap_ekgrp WHERE DLID=? AND RabattGR=?"),
            {m_downloads.value(label), text(s, QStringLiteral("discountGroup"))});
        if (!StoreDiscountGroup(m_e, id, text(s, QStringLiteral("erpGroup")),
                                text(s, QStringLiteral("description")),
                                text(s, QStringLiteral("date")), texts(s, QStringLiteral("rates"))))
            fault(QStringLiteral("no discount group ") + text(s, QStringLiteral("discountGroup")) +
                  QStringLiteral(" in download ") + label);
    }

    // A supplier's web price data: one article line (DemoArticleLine) each.
    void webData(const QJsonObject& s) {
        const QString code = text(s, QStringLiteral("webData"));
        const QString name = text(s, QStringLiteral("name"));
        expectColumns(s, {QStringLiteral("herst"), QStringLiteral("ean"), QStringLiteral("bestnr"),
                          QStringLiteral("text"), QStringLiteral("unit"), QStringLiteral("price"),
                          QStringLiteral("date"), QStringLiteral("price2"), QStringLiteral("date2"),
                          QStringLiteral("group")});
        const QJsonArray lines = list(s, QStringLiteral("lines"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            // herst, ean, bestnr, text, unit, price, date, price2, date2, group
            const QStringList l = texts(lines[i], QStringLiteral("line %1").arg(i + 1));
            if (l.size() != 10)
                fault(QStringLiteral("line %1 has %2 value(s) for 10").arg(i + 1).arg(l.size()));
            insert(m_e, erp::Data::kWeb,
                   {{QStringLiteral("CODE"), code},
                    {QStringLiteral("NAME"), name},
                    {QStringLiteral("SEQ"), QString::number(i + 1)},
                    {QStringLiteral("LINE"),
                     DemoArticleLine(l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7], l[8], l[9])}});
        }
    }

    StandinEngine& m_e;
    QString m_file;
    QString m_where;
    QHash<QString, QString> m_downloads; // label to key
};

// The ERP records of the benchmark download's articles.
void article(StandinEngine& e, const QString& artnr, const QString& lnr, const QString& ean,
             const QString& bestnr, const QString& bez, const QStringList& more) {
    static const QStringList names{
        QStringLiteral("BEZ2"),  QStringLiteral("BEZ3"),   QStringLiteral("ATYP"),
        QStringLiteral("WARGR"), QStringLiteral("ABTNR"),  QStringLiteral("VKE"),
        QStringLiteral("VPE"),   QStringLiteral("VPI"),    QStringLiteral("VRE"),
        QStringLiteral("VRM"),   QStringLiteral("VPM"),    QStringLiteral("EBE"),
        QStringLiteral("MWST"),  QStringLiteral("PALART"), QStringLiteral("PALJE"),
        QStringLiteral("PALAB"), QStringLiteral("ACOD"),   QStringLiteral("AKTIV")};
    QHash<QString, QString> v{{QStringLiteral("FIRMA"), QStringLiteral("1")},
                              {QStringLiteral("ARTNR"), artnr},
                              {QStringLiteral("LNR"), lnr},
                              {QStringLiteral("EAN"), ean},
                              {QStringLiteral("BESTNR"), bestnr},
                              {QStringLiteral("BEZ"), erpForm(bez)},
                              {QStringLiteral("FREIGABE"), QStringLiteral("J")}};
    for (int i = 0; i < names.size(); ++i)
        v.insert(names[i], i < 2 ? erpForm(more.value(i)) : more.value(i));
    insert(e, erp::Data::kArtikel, v);
}

void condition(StandinEngine& e, const QString& artnr, const QString& datum, double brutto,
               double netto) {
    insert(e, erp::Data::kArtEK,
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("LNR"), QStringLiteral("70001")},
            {QStringLiteral("ARTNR"), artnr},
            {QStringLiteral("DATUM"), datum},
            {QStringLiteral("BRUTTO"), ErpNumber(brutto, 2)},
            {QStringLiteral("EKGRP"), QString()},
            {QStringLiteral("RABTYP"), QStringLiteral("%")},
            {QStringLiteral("RAB1"), QStringLiteral("10")},
            {QStringLiteral("RAB2"), QStringLiteral("0")},
            {QStringLiteral("RAB3"), QStringLiteral("0")},
            {QStringLiteral("RAB4"), QStringLiteral("0")},
            {QStringLiteral("NETTO"), ErpNumber(netto, 4)},
            {QStringLiteral("NEBKOST"), QStringLiteral("0")},
            {QStringLiteral("FAKTOR"), QStringLiteral("1")},
            {QStringLiteral("ERE"), QStringLiteral("Pak")},
            {QStringLiteral("EPM"), QStringLiteral("1")},
            {QStringLiteral("EVM"), QStringLiteral("1")},
            {QStringLiteral("MIBEME"), QStringLiteral("1")},
            {QStringLiteral("HLIEF"), QStringLiteral("J")}});
}

void salesPrice(StandinEngine& e, const QString& artnr, const QString& datum, double vkexcl) {
    insert(e, erp::Data::kArtVK,
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("ARTNR"), artnr},
            {QStringLiteral("DATUM"), datum},
            {QStringLiteral("KFSOLL"), QStringLiteral("1.4")},
            {QStringLiteral("VKEXCL"), ErpNumber(vkexcl, 2)},
            {QStringLiteral("VKINCL"), ErpNumber(vkexcl * 1.19, 2)}});
}

// Position i of the benchmark download: every third one with an article of
// its own (series: article numbers and EANs that no other download uses).
void benchmarkArticle(StandinEngine& e, int i, const QString& series, const QString& ean,
                      const QString& bestnr, double price, const QString& date) {
    const int k = i / 3;
    const QString artnr = QStringLiteral("6%1%2").arg(series).arg(k, 6, 10, QChar(u'0'));
    article(e, artnr, QStringLiteral("70001"), ean, bestnr, QStringLiteral("Testartikel %1").arg(i),
            {QStringLiteral("Serie ") + series, QString(), "L", "1200", "12", "Pak", "Ktn", "10",
             "St", "100", "1", "Pak", "1", "", "0", "0", "", "J"});
    condition(e, artnr, QStringLiteral("01.01.2026"), price * 0.95, price * 0.855);
    if (k % 2 == 0)
        condition(e, artnr, date, price, price * 0.9);
    if (k % 4 == 0)
        salesPrice(e, artnr, date, price * 1.26);
}

} // namespace

QString DemoArticleLine(const QString& herst, const QString& ean, const QString& bestnr,
                        const QString& text, const QString& unit, const QString& price,
                        const QString& date, const QString& price2, const QString& date2,
                        const QString& group) {
    QStringList f(29);
    f[0] = herst;
    f[1] = ean;
    f[2] = bestnr;
    f[3] = text;
    f[4] = unit;
    f[5] = unit;
    f[6] = unit;
    f[7] = QStringLiteral("1");
    f[8] = QStringLiteral("1");
    f[9] = price;
    f[10] = date;
    f[11] = price2;
    f[12] = date2;
    f[13] = QStringLiteral("1");
    f[19] = group;
    f[24] = QStringLiteral("Baustoffe");
    return f.join(u'\\');
}

QString DefaultDemoDataFile() {
    return QCoreApplication::applicationDirPath() +
           QStringLiteral("/../share/veltar-standin/demo-company.json");
}

void FillDemoData(StandinEngine& e, const QString& file) {
    DemoLoader loader(e, file);
    const QJsonArray companies = loader.read();
    // A file that fails halfway stores nothing.
    StandinTransaction all(e);
    loader.run(companies);
    all.commit();
}

void PointDemoServerEntry(StandinEngine& e, const QString& address, quint16 port) {
    StandinTransaction t(e);
    e.execText(QStringLiteral("UPDATE guiveltar_server SET ServerIP=?, Port=? WHERE Bezeichnung=?"),
               {address, QString::number(port), erpForm(QStringLiteral("Demo-Firma (lokal)"))});
    t.commit();
}

QString FillDemoPositions(StandinEngine& e, int count, const QString& file) {
    FillDemoData(e, file);
    StandinTransaction t(e);
    const QString lnr = QStringLiteral("70001");
    const QString date = QStringLiteral("01.04.2027");
    StoredObject d;
    d.cls = e.findClass(erp::Downloads::kClass);
    d.values = {{QStringLiteral("Firma"), QStringLiteral("1")},
                {QStringLiteral("Datum"), QDate::currentDate().toString(Qt::ISODate)},
                {QStringLiteral("PCODE"), QStringLiteral("DEM")},
                {QStringLiteral("LNR"), lnr},
                {QStringLiteral("Status"), QStringLiteral("0")}};
    e.saveObject(d);
    const QString series = QStringLiteral("%1").arg(d.id.toInt() % 100, 2, 10, QChar(u'0'));
    QHash<QString, QStringList> cache;
    PositionFiller filler(e, cache);
    for (int i = 0; i < count; ++i) {
        const double price = 1 + (i % 5000) / 100.0;
        const QString ean =
            QStringLiteral("40") + series + QStringLiteral("%1").arg(i, 9, 10, QChar(u'0'));
        const QString bestnr = QStringLiteral("G%1-%2").arg(series).arg(i);
        if (i % 3 == 0)
            benchmarkArticle(e, i, series, ean, bestnr, price, date);
        filler.store(d.id, QStringLiteral("1"), lnr,
                     {QStringLiteral("MUE"), ean, bestnr,
                      QStringLiteral("Generierte Position %1").arg(i), QStringLiteral("PAK"),
                      QStringLiteral("PAK"), QStringLiteral("PAK"), QStringLiteral("1"),
                      QStringLiteral("1"), date, QString::number(price, 'f', 2).replace(u'.', u','),
                      QStringLiteral("1"), QStringLiteral("SG%1").arg(i % 10),
                      QStringLiteral("Baustoffe")},
                     QStringLiteral("N"));
    }
    t.commit();
    return d.id;
}
