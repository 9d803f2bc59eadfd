#include "DemoData.h"

#include "StandinEngine.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"

namespace {

QString erp(const QString& text) {
    return ConvertText(text, QStringLiteral("GUIVELTAR"), false);
}

void insert(StandinEngine& e, const QString& className, const QHash<QString, QString>& values) {
    StoredObject o;
    o.cls = e.findClass(className);
    o.values = values;
    e.saveObject(o);
}

void user(StandinEngine& e, const QString& code, const QString& password, const QString& aktiv,
          const QString& fajn, const QString& name, const QString& pnr, const QString& abt) {
    insert(e, QStringLiteral("VT.ParPersEdv"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("CODE"), erp(code)},
            {QStringLiteral("Passwort"), password},
            {QStringLiteral("AKTIV"), aktiv},
            {QStringLiteral("FAJN"), fajn},
            {QStringLiteral("PNAME"), erp(name)},
            {QStringLiteral("PNR"), pnr},
            {QStringLiteral("ABTNR"), abt},
            {QStringLiteral("DW"), QStringLiteral("2") + pnr.right(2)},
            {QStringLiteral("BERGRP"), QStringLiteral("EK")}});
    insert(e, QStringLiteral("VT.PersBasis"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("PNR"), pnr},
            {QStringLiteral("Name"), erp(name)},
            {QStringLiteral("Fax"), QStringLiteral("0221 4711-9") + pnr.right(2)},
            {QStringLiteral("EMail"), code.toLower() + QStringLiteral("@baustoffe-demo.de")}});
}

void supplier(StandinEngine& e, const QString& lnr, const QString& name, const QString& ort) {
    insert(e, QStringLiteral("VT.Lieferant"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("LNR"), lnr},
            {QStringLiteral("NAME"), erp(name)},
            {QStringLiteral("ORT"), erp(ort)},
            {QStringLiteral("KTOKREIS"), QStringLiteral("1")}});
}

struct DemoPosition {
    const char16_t* herst;
    const char16_t* ean;
    const char16_t* bestnr;
    const char16_t* text;
    const char16_t* unit;
    const char16_t* price;
    const char16_t* group;
};

void download(StandinEngine& e, const QString& datum, const QString& pcode, const QString& lnr,
              std::initializer_list<DemoPosition> positions) {
    StoredObject d;
    d.cls = e.findClass(QStringLiteral("quendrap.downloads"));
    d.values = {{QStringLiteral("Firma"), QStringLiteral("1")},
                {QStringLiteral("Datum"), datum},
                {QStringLiteral("PCODE"), pcode},
                {QStringLiteral("LNR"), lnr},
                {QStringLiteral("Status"), QStringLiteral("0")}};
    e.saveObject(d);
    for (const DemoPosition& p : positions) {
        insert(e, QStringLiteral("quendrap.pos"),
               {{QStringLiteral("DLID"), d.id},
                {QStringLiteral("HerstCode"), QString::fromUtf16(p.herst)},
                {QStringLiteral("EAN"), QString::fromUtf16(p.ean)},
                {QStringLiteral("BestNr"), QString::fromUtf16(p.bestnr)},
                {QStringLiteral("Bezeichnung"), erp(QString::fromUtf16(p.text))},
                {QStringLiteral("VE"), QString::fromUtf16(p.unit)},
                {QStringLiteral("VP"), QString::fromUtf16(p.unit)},
                {QStringLiteral("UEE"), QString::fromUtf16(p.unit)},
                {QStringLiteral("Menge"), QStringLiteral("1")},
                {QStringLiteral("MengeUEE"), QStringLiteral("1")},
                {QStringLiteral("Datum"), datum},
                {QStringLiteral("Preis"), QString::fromUtf16(p.price)},
                {QStringLiteral("RabattGR"), QString::fromUtf16(p.group)},
                {QStringLiteral("Status"), QStringLiteral("0")}});
    }
}

void webData(StandinEngine& e, const QString& code, const QString& name,
             const QList<QString>& lines) {
    int seq = 0;
    for (const QString& line : lines)
        insert(e, QStringLiteral("quendrap.web"),
               {{QStringLiteral("CODE"), code},
                {QStringLiteral("NAME"), name},
                {QStringLiteral("SEQ"), QString::number(++seq)},
                {QStringLiteral("LINE"), line}});
}

void article(StandinEngine& e, const QString& artnr, const QString& lnr, const QString& ean,
             const QString& bestnr, const QString& bez) {
    insert(e, QStringLiteral("VT.Artikel"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("ARTNR"), artnr},
            {QStringLiteral("LNR"), lnr},
            {QStringLiteral("EAN"), ean},
            {QStringLiteral("BESTNR"), bestnr},
            {QStringLiteral("BEZ"), erp(bez)}});
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

void FillDemoData(StandinEngine& e) {
    if (e.meta(QStringLiteral("demo")) == u"1")
        return;
    StandinTransaction t(e);
    // Fiscal year: ^FA(0) holds start`year`end.
    e.setGlobal(QStringLiteral("FA"), {QStringLiteral("0")},
                QStringLiteral("20270101`2027`20271231"));

    for (const auto& [code, text] :
         {std::pair{u"01", u"Zentrale Köln"}, std::pair{u"02", u"Lager Nord"},
          std::pair{u"03", u"Baumarkt Süd"}})
        insert(e, QStringLiteral("VT.Standort"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("CODE"), QString::fromUtf16(code)},
                {QStringLiteral("Text"), QString::fromUtf16(text)}});
    insert(e, QStringLiteral("VT.Device"),
           {{QStringLiteral("Name"), QStringLiteral("demo-pc")},
            {QStringLiteral("Standort"), QStringLiteral("01")}});
    insert(e, QStringLiteral("VT.Device"),
           {{QStringLiteral("Name"), QStringLiteral("lager-pc")},
            {QStringLiteral("Standort"), QStringLiteral("02")}});

    for (const auto& [nr, bez, haupt] :
         {std::tuple{u"10", u"Einkauf", u"10"}, std::tuple{u"20", u"Lager", u"10"},
          std::tuple{u"30", u"Verkauf Baustoffe", u"30"}})
        insert(e, QStringLiteral("VT.ParPersAbt"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("ABTNR"), QString::fromUtf16(nr)},
                {QStringLiteral("abtbez"), QString::fromUtf16(bez)},
                {QStringLiteral("HAbtNr"), QString::fromUtf16(haupt)}});

    user(e, QStringLiteral("DEM"), QStringLiteral("demo"), QStringLiteral("J"), QStringLiteral("J"),
         QStringLiteral("Dörte Demo"), QStringLiteral("1001"), QStringLiteral("10"));
    user(e, QStringLiteral("ALT"), QStringLiteral("alt"), QStringLiteral("N"), QStringLiteral("J"),
         QStringLiteral("Albert Ausgeschieden"), QStringLiteral("1002"), QStringLiteral("30"));
    user(e, QStringLiteral("LAG"), QStringLiteral("lager"), QStringLiteral("J"),
         QStringLiteral("N"), QStringLiteral("Lutz Lagerbühl"), QStringLiteral("1003"),
         QStringLiteral("20"));

    supplier(e, QStringLiteral("70001"), QStringLiteral("Müller Baustoffe GmbH"),
             QStringLiteral("Köln"));
    supplier(e, QStringLiteral("70002"), QStringLiteral("Schröder Dämmtechnik KG"),
             QStringLiteral("Düsseldorf"));
    supplier(e, QStringLiteral("70003"), QStringLiteral("Weiß & Söhne Fliesen"),
             QStringLiteral("Münster"));
    supplier(e, QStringLiteral("70004"), QStringLiteral("Großhandel Äußere Straße"),
             QStringLiteral("Lübeck"));

    insert(e, QStringLiteral("GUIVELTAR.Server"),
           {{QStringLiteral("Bezeichnung"), erp(QStringLiteral("Demo-Firma (lokal)"))},
            {QStringLiteral("Namespace"), QStringLiteral("VELTAR")},
            {QStringLiteral("Firma"), QStringLiteral("1")},
            {QStringLiteral("Filiale"), QStringLiteral("0")},
            {QStringLiteral("ServerIP"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("Port"), QStringLiteral("1973")},
            {QStringLiteral("WJ"), QStringLiteral("2027")}});

    download(
        e, QStringLiteral("2026-10-05"), QStringLiteral("DEM"), QStringLiteral("70001"),
        {{u"MUE", u"4006209000013", u"M-1001", u"Dübel 8x40 Nylon", u"PAK", u"4,95", u"RG01"},
         {u"MUE", u"4006209000020", u"M-1002", u"Schraube 5x60 verzinkt", u"PAK", u"7,80", u"RG01"},
         {u"MUE", u"4006209000037", u"M-2001", u"Mörtel 25 kg", u"SCK", u"6,40", u"RG02"}});
    download(e, QStringLiteral("2026-11-12"), QStringLiteral("DEM"), QStringLiteral("70002"),
             {{u"SDT", u"4011234500018", u"S-10", u"Dämmplatte 100 mm", u"M2", u"12,50", u"RG10"},
              {u"SDT", u"4011234500025", u"S-11", u"Dämmplatte 120 mm", u"M2", u"14,90", u"RG10"}});
    download(
        e, QStringLiteral("2026-12-01"), QStringLiteral("LAG"), QStringLiteral("70003"),
        {{u"WSF", u"4020000000011", u"F-300", u"Fußleiste Eiche 2,4 m", u"STK", u"8,20", u"RG20"},
         {u"WSF", u"4020000000028", u"F-301", u"Türschwelle Edelstahl", u"STK", u"19,90", u"RG20"},
         {u"WSF", u"4020000000035", u"F-302", u"Fliesenkleber 25 kg", u"SCK", u"11,30", u"RG21"},
         {u"WSF", u"4020000000042", u"F-303", u"Fugenmörtel grau 5 kg", u"SCK", u"9,60", u"RG21"}});

    // Unit assignments: external code to ERP unit.
    for (const auto& [ext, unit] :
         {std::pair{u"STK", u"St"}, std::pair{u"M", u"m"}, std::pair{u"M2", u"qm"},
          std::pair{u"M3", u"cbm"}, std::pair{u"KG", u"kg"}, std::pair{u"L", u"l"},
          std::pair{u"PAK", u"Pak"}, std::pair{u"ROL", u"Rol"}, std::pair{u"SCK", u"Sack"},
          std::pair{u"PAL", u"Pal"}})
        insert(e, QStringLiteral("VT.Einheit"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("EXT"), QString::fromUtf16(ext)},
                {QStringLiteral("ERP"), QString::fromUtf16(unit)}});

    // Manufacturer codes already linked by earlier imports.
    for (const auto& [herst, lnr] :
         {std::pair{u"MUE", u"70001"}, std::pair{u"SDT", u"70002"}, std::pair{u"WSF", u"70003"}})
        insert(e, QStringLiteral("quendrap.liefid"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("HerstCode"), QString::fromUtf16(herst)},
                {QStringLiteral("LNR"), QString::fromUtf16(lnr)}});

    // ERP articles of the suppliers, found again by EAN or order number.
    article(e, QStringLiteral("100100"), QStringLiteral("70001"), QStringLiteral("4006209000013"),
            QStringLiteral("M-1001"), QStringLiteral("Dübel 8x40 Nylon"));
    article(e, QStringLiteral("100101"), QStringLiteral("70001"), QStringLiteral("4006209000020"),
            QStringLiteral("M-1002"), QStringLiteral("Schraube 5x60 verzinkt"));
    article(e, QStringLiteral("100200"), QStringLiteral("70001"), QString(),
            QStringLiteral("M-2001"), QStringLiteral("Mörtel 25 kg"));
    article(e, QStringLiteral("200010"), QStringLiteral("70002"), QStringLiteral("4011234500018"),
            QStringLiteral("S-10"), QStringLiteral("Dämmplatte 100 mm"));
    article(e, QStringLiteral("300300"), QStringLiteral("70003"), QStringLiteral("4020000000011"),
            QStringLiteral("F-300"), QStringLiteral("Fußleiste Eiche 2,4 m"));

    // Web price data of two suppliers, with two price tracks each.
    const QString jan = QStringLiteral("01.01.2027");
    const QString apr = QStringLiteral("01.04.2027");
    webData(
        e, QStringLiteral("MUE"), QStringLiteral("Müller Baustoffe GmbH"),
        {DemoArticleLine("MUE", "4006209000013", "M-1001", "Dübel 8x40 Nylon", "PAK", "5,10", jan,
                         "5,30", apr, "RG01"),
         DemoArticleLine("MUE", "4006209000020", "M-1002", "Schraube 5x60 verzinkt", "PAK", "7,95",
                         jan, "8,20", apr, "RG01"),
         DemoArticleLine("MUE", "", "M-2001", "Mörtel 25 kg", "SCK", "6,60", jan, "0", "", "RG02"),
         DemoArticleLine("MUE", "4006209000044", "M-2002", "Fließestrich 40 kg", "SCK", "9,90", jan,
                         "10,40", apr, "RG02"),
         DemoArticleLine("MUE", "4006209000051", "M-3001", "Bewehrungsmatte Q188", "STK", "38,50",
                         jan, "0", "", "RG03"),
         DemoArticleLine("MUE", "4006209000068", "M-3002", "Kantholz 6x8 cm", "M", "3,15", jan,
                         "3,25", apr, "RG03")});
    webData(e, QStringLiteral("SDT"), QStringLiteral("Schröder Dämmtechnik KG"),
            {DemoArticleLine("SDT", "4011234500018", "S-10", "Dämmplatte 100 mm", "M2", "12,90",
                             jan, "13,20", apr, "RG10"),
             DemoArticleLine("SDT", "4011234500025", "S-11", "Dämmplatte 120 mm", "M2", "15,30",
                             jan, "15,60", apr, "RG10"),
             DemoArticleLine("SDT", "4011234500032", "S-20", "Dampfbremsfolie 50 m²", "ROL",
                             "44,00", jan, "0", "", "RG11"),
             DemoArticleLine("SDT", "4011234500049", "S-30", "Glaswolle Rolle 035", "ROL", "29,80",
                             jan, "31,00", apr, "RG11")});

    e.setMeta(QStringLiteral("demo"), QStringLiteral("1"));
    t.commit();
}
