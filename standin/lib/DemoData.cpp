#include "DemoData.h"

#include "StandinEngine.h"
#include "classes/ErpPositions.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"

#include <QDate>

namespace {

const QString kFirst = QStringLiteral("1");

QString erp(const QString& text) {
    return ConvertText(text, QStringLiteral("GUIVELTAR"), false);
}

void insert(StandinEngine& e, const QString& className, const QHash<QString, QString>& values) {
    StoredObject o;
    o.cls = e.findClass(className);
    o.values = values;
    e.saveObject(o);
}

// A user of a company with its personnel data; the password is given as its
// hash (made once with the stand-in's cost, Passwords.h), so that a demo
// database costs no hashing.
void user(StandinEngine& e, const QString& firma, const QString& code, const QString& passwordHash,
          const QString& aktiv, const QString& fajn, const QString& name, const QString& pnr,
          const QString& abt) {
    insert(e, QStringLiteral("VT.ParPersEdv"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("CODE"), erp(code)},
            {QStringLiteral("Passwort"), passwordHash},
            {QStringLiteral("AKTIV"), aktiv},
            {QStringLiteral("FAJN"), fajn},
            {QStringLiteral("PNAME"), erp(name)},
            {QStringLiteral("PNR"), pnr},
            {QStringLiteral("ABTNR"), abt},
            {QStringLiteral("DW"), QStringLiteral("2") + pnr.right(2)},
            {QStringLiteral("BERGRP"), QStringLiteral("EK")}});
    insert(e, QStringLiteral("VT.PersBasis"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("PNR"), pnr},
            {QStringLiteral("Name"), erp(name)},
            {QStringLiteral("Fax"), QStringLiteral("0221 4711-9") + pnr.right(2)},
            {QStringLiteral("EMail"), code.toLower() + QStringLiteral("@baustoffe-demo.de")}});
}

void supplier(StandinEngine& e, const QString& lnr, const QString& name, const QString& plz,
              const QString& ort, const QString& firma = kFirst) {
    insert(e, QStringLiteral("VT.Lieferant"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("LNR"), lnr},
            {QStringLiteral("NAME"), erp(name)},
            {QStringLiteral("PLZ"), plz},
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

// A download whose positions are stored as savezeile stores them: assigned
// by EAN or order number, the grid fields filled from the ERP. Returns its
// key.
QString download(StandinEngine& e, const QString& datum, const QString& pcode, const QString& lnr,
                 const QString& priceDate, std::initializer_list<DemoPosition> positions,
                 const QString& firma = kFirst) {
    StoredObject d;
    d.cls = e.findClass(QStringLiteral("quendrap.downloads"));
    d.values = {{QStringLiteral("Firma"), firma},
                {QStringLiteral("Datum"), datum},
                {QStringLiteral("PCODE"), pcode},
                {QStringLiteral("LNR"), lnr},
                {QStringLiteral("Status"), QStringLiteral("0")}};
    e.saveObject(d);
    QHash<QString, QStringList> cache;
    PositionFiller filler(e, cache);
    for (const DemoPosition& p : positions) {
        const QString unit = QString::fromUtf16(p.unit);
        filler.store(d.id, firma, lnr,
                     {QString::fromUtf16(p.herst), QString::fromUtf16(p.ean),
                      QString::fromUtf16(p.bestnr), QString::fromUtf16(p.text), unit, unit, unit,
                      QStringLiteral("1"), QStringLiteral("1"), priceDate,
                      QString::fromUtf16(p.price), QStringLiteral("1"), QString::fromUtf16(p.group),
                      QStringLiteral("Baustoffe")},
                     QStringLiteral("N"));
    }
    return d.id;
}

// What the buyer entered in the discount group window for a supplier group
// of a download.
void groupEdit(StandinEngine& e, const QString& dlid, const QString& group, const QString& erpgr,
               const QString& bez, const QString& date, const QStringList& rates) {
    StoreDiscountGroup(
        e,
        e.textValue(QStringLiteral("SELECT id FROM quendrap_ekgrp WHERE DLID=? AND RabattGR=?"),
                    {dlid, group}),
        erpgr, bez, date, rates);
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

// An ERP article (of company 1 unless said). Fields after the description, in order:
// BEZ2, BEZ3, ATYP, WARGR, ABTNR, VKE, VPE, VPI, VRE, VRM, VPM, EBE, MWST,
// PALART, PALJE, PALAB, ACOD, AKTIV, and FREIGABE when it is not "J".
void article(StandinEngine& e, const QString& artnr, const QString& lnr, const QString& ean,
             const QString& bestnr, const QString& bez, const QStringList& more,
             const QString& firma = kFirst) {
    static const QStringList names{
        QStringLiteral("BEZ2"),  QStringLiteral("BEZ3"),   QStringLiteral("ATYP"),
        QStringLiteral("WARGR"), QStringLiteral("ABTNR"),  QStringLiteral("VKE"),
        QStringLiteral("VPE"),   QStringLiteral("VPI"),    QStringLiteral("VRE"),
        QStringLiteral("VRM"),   QStringLiteral("VPM"),    QStringLiteral("EBE"),
        QStringLiteral("MWST"),  QStringLiteral("PALART"), QStringLiteral("PALJE"),
        QStringLiteral("PALAB"), QStringLiteral("ACOD"),   QStringLiteral("AKTIV")};
    QHash<QString, QString> v{{QStringLiteral("FIRMA"), firma},
                              {QStringLiteral("ARTNR"), artnr},
                              {QStringLiteral("LNR"), lnr},
                              {QStringLiteral("EAN"), ean},
                              {QStringLiteral("BESTNR"), bestnr},
                              {QStringLiteral("BEZ"), erp(bez)},
                              {QStringLiteral("FREIGABE"), QStringLiteral("J")}};
    for (int i = 0; i < names.size(); ++i)
        v.insert(names[i], i < 2 ? erp(more.value(i)) : more.value(i));
    if (more.size() > names.size())
        v.insert(QStringLiteral("FREIGABE"), more[names.size()]);
    insert(e, QStringLiteral("VT.Artikel"), v);
}

// A purchase condition (of company 1 unless said): supplier, article, valid from, gross
// price, EK discount group, "N"/"%", four discounts, net price, additional
// costs, ERE, minimum order quantity.
void condition(StandinEngine& e, const QString& lnr, const QString& artnr, const QString& datum,
               const QString& brutto, const QString& ekgrp, const QString& rabtyp,
               const QStringList& rab, const QString& netto, const QString& nebkost,
               const QString& ere, const QString& mibeme, const QString& firma = kFirst) {
    insert(e, QStringLiteral("VT.ArtEK"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("LNR"), lnr},
            {QStringLiteral("ARTNR"), artnr},
            {QStringLiteral("DATUM"), datum},
            {QStringLiteral("BRUTTO"), brutto},
            {QStringLiteral("EKGRP"), ekgrp},
            {QStringLiteral("RABTYP"), rabtyp},
            {QStringLiteral("RAB1"), rab.value(0, QStringLiteral("0"))},
            {QStringLiteral("RAB2"), rab.value(1, QStringLiteral("0"))},
            {QStringLiteral("RAB3"), rab.value(2, QStringLiteral("0"))},
            {QStringLiteral("RAB4"), rab.value(3, QStringLiteral("0"))},
            {QStringLiteral("NETTO"), netto},
            {QStringLiteral("NEBKOST"), nebkost},
            {QStringLiteral("FAKTOR"), QStringLiteral("1")},
            {QStringLiteral("ERE"), ere},
            {QStringLiteral("EPM"), QStringLiteral("1")},
            {QStringLiteral("EVM"), QStringLiteral("1")},
            {QStringLiteral("MIBEME"), mibeme},
            {QStringLiteral("HLIEF"), QStringLiteral("J")}});
}

void salesPrice(StandinEngine& e, const QString& artnr, const QString& datum, const QString& kfsoll,
                const QString& vkexcl, const QString& vkincl) {
    insert(e, QStringLiteral("VT.ArtVK"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("ARTNR"), artnr},
            {QStringLiteral("DATUM"), datum},
            {QStringLiteral("KFSOLL"), kfsoll},
            {QStringLiteral("VKEXCL"), vkexcl},
            {QStringLiteral("VKINCL"), vkincl}});
}

void discountGroup(StandinEngine& e, const QString& lnr, const QString& code, const QString& bez,
                   const QString& datum, const QStringList& rab) {
    insert(e, QStringLiteral("VT.EKRabGr"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("LNR"), lnr},
            {QStringLiteral("CODE"), code},
            {QStringLiteral("DATUM"), datum},
            {QStringLiteral("BEZ"), erp(bez)},
            {QStringLiteral("RAB1"), rab.value(0, QStringLiteral("0"))},
            {QStringLiteral("RAB2"), rab.value(1, QStringLiteral("0"))},
            {QStringLiteral("RAB3"), rab.value(2, QStringLiteral("0"))},
            {QStringLiteral("RAB4"), rab.value(3, QStringLiteral("0"))}});
}

void codes(StandinEngine& e, const QString& className,
           std::initializer_list<std::pair<const char16_t*, const char16_t*>> entries,
           const QString& textProperty = QStringLiteral("BEZ"), const QString& firma = kFirst) {
    for (const auto& [code, text] : entries)
        insert(e, className,
               {{QStringLiteral("FIRMA"), firma},
                {QStringLiteral("CODE"), QString::fromUtf16(code)},
                {textProperty, erp(QString::fromUtf16(text))}});
}

// The customers of the demo company with their groups, and the account
// groups of suppliers and customers.
void customers(StandinEngine& e) {
    codes(e, QStringLiteral("VT.ParKundenGruppen"),
          {{u"10", u"Gewerbliche Kunden Bau"},
           {u"20", u"Handwerk"},
           {u"30", u"Privatkunden"},
           {u"40", u"Wiederverkäufer"}});
    for (const auto& [art, code, text] :
         {std::tuple{u"L", u"1", u"Lieferanten Inland"},
          std::tuple{u"L", u"2", u"Lieferanten Ausland"}, std::tuple{u"L", u"9", u"Sonstige"},
          std::tuple{u"K", u"1", u"Kunden Inland"}, std::tuple{u"K", u"2", u"Kunden Ausland"},
          std::tuple{u"K", u"5", u"Barverkauf"}})
        insert(e, QStringLiteral("VT.KontoSammelKontoKreis"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("ART"), QString::fromUtf16(art)},
                {QStringLiteral("CODE"), QString::fromUtf16(code)},
                {QStringLiteral("BEZ"), erp(QString::fromUtf16(text))}});
    for (const auto& [knr, name, plz, ort, kgrp, kto] :
         {std::tuple{u"10001", u"Bauunternehmung Kötter GmbH", u"50825", u"Köln", u"10", u"1"},
          std::tuple{u"10002", u"Hochbau Schäfer & Söhne", u"51465", u"Bergisch Gladbach", u"10",
                     u"1"},
          std::tuple{u"10003", u"Straßen- und Tiefbau Ülker", u"50769", u"Köln", u"10", u"1"},
          std::tuple{u"10004", u"Bouwbedrijf Janssen B.V.", u"6211", u"Maastricht", u"10", u"2"},
          std::tuple{u"10005", u"Dachdeckerei Jürgen Böhm", u"51373", u"Leverkusen", u"20", u"1"},
          std::tuple{u"10006", u"Fliesenleger Özdemir", u"50733", u"Köln", u"20", u"1"},
          std::tuple{u"10007", u"Malerbetrieb Größmann", u"50321", u"Brühl", u"20", u"1"},
          std::tuple{u"10008", u"Zimmerei Weißenfels", u"50354", u"Hürth", u"20", u"1"},
          std::tuple{u"10009", u"Familie Müller", u"50259", u"Pulheim", u"30", u"5"},
          std::tuple{u"10010", u"Hans-Dieter Lüttgen", u"50226", u"Frechen", u"30", u"5"},
          std::tuple{u"10011", u"Sabine Krämer", u"50937", u"Köln", u"30", u"5"},
          std::tuple{u"10012", u"Baustoffhandel Rhein-Sieg Süd", u"53721", u"Siegburg", u"40",
                     u"1"}})
        insert(e, QStringLiteral("VT.Kunde"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("KNR"), QString::fromUtf16(knr)},
                {QStringLiteral("NAME"), erp(QString::fromUtf16(name))},
                {QStringLiteral("PLZ"), QString::fromUtf16(plz)},
                {QStringLiteral("ORT"), erp(QString::fromUtf16(ort))},
                {QStringLiteral("KGRP"), QString::fromUtf16(kgrp)},
                {QStringLiteral("KTOKREIS"), QString::fromUtf16(kto)}});
}

// The ERP's code lists, articles, conditions, sales prices and discount
// groups of the demo suppliers, and the supplier defaults.
void erpData(StandinEngine& e) {
    codes(e, QStringLiteral("VT.ParArtTyp"),
          {{u"L", u"Lagerartikel"},
           {u"S", u"Streckenartikel"},
           {u"B", u"Bestellartikel"},
           {u"D", u"Dienstleistung"},
           {u"P", u"Palette / Pfand"}});
    codes(e, QStringLiteral("VT.ParAbteilung"),
          {{u"11", u"Baustoffe"},
           {u"12", u"Eisenwaren"},
           {u"13", u"Dämmstoffe"},
           {u"14", u"Fliesen und Zubehör"},
           {u"19", u"Leergut"}});
    codes(e, QStringLiteral("VT.ParEinheit"),
          {{u"St", u"Stück"},
           {u"m", u"Meter"},
           {u"qm", u"Quadratmeter"},
           {u"cbm", u"Kubikmeter"},
           {u"kg", u"Kilogramm"},
           {u"l", u"Liter"},
           {u"Pak", u"Paket"},
           {u"Ktn", u"Karton"},
           {u"Rol", u"Rolle"},
           {u"Sack", u"Sack"},
           {u"Pal", u"Palette"}});
    codes(e, QStringLiteral("VT.ParMwst"), {{u"1", u"19"}, {u"2", u"7"}, {u"0", u"0"}},
          QStringLiteral("SATZ"));
    codes(e, QStringLiteral("VT.ParArtCode"),
          {{u"N", u"Neuheit"},
           {u"A", u"Auslaufartikel"},
           {u"S", u"Sonderposten"},
           {u"K", u"Kommissionsware"}});
    for (const auto& [code, text, abt, mwst] :
         {std::tuple{u"1100", u"Mörtel und Putze", u"11", u"1"},
          std::tuple{u"1200", u"Dübel und Schrauben", u"12", u"1"},
          std::tuple{u"1300", u"Dämmplatten", u"13", u"1"},
          std::tuple{u"1310", u"Folien und Bahnen", u"13", u"1"},
          std::tuple{u"1400", u"Fliesenzubehör", u"14", u"1"},
          std::tuple{u"1410", u"Fliesenkleber", u"14", u"1"},
          std::tuple{u"1500", u"Fachliteratur", u"11", u"2"},
          std::tuple{u"1900", u"Paletten und Leergut", u"19", u"0"}})
        insert(e, QStringLiteral("VT.ParWarengruppe"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("CODE"), QString::fromUtf16(code)},
                {QStringLiteral("BEZ"), erp(QString::fromUtf16(text))},
                {QStringLiteral("ABTNR"), QString::fromUtf16(abt)},
                {QStringLiteral("MWST"), QString::fromUtf16(mwst)}});

    // Supplier defaults; 70002 has none.
    for (const auto& [lnr, wargr, aufschlag, rundung] :
         {std::tuple{u"70001", u"1200", u"40", u"0,05"},
          std::tuple{u"70003", u"1400", u"45", u"0,05"}})
        insert(e, QStringLiteral("quendrap.defaults"),
               {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                {QStringLiteral("LNR"), QString::fromUtf16(lnr)},
                {QStringLiteral("Warengruppe"), QString::fromUtf16(wargr)},
                {QStringLiteral("Aufschlag"), QString::fromUtf16(aufschlag)},
                {QStringLiteral("Rundung"), QString::fromUtf16(rundung)},
                {QStringLiteral("Freigabe"), QStringLiteral("N")}});

    // Pallet articles (no supplier).
    article(e, "900001", "", "", "", "Europalette (Pfand)",
            {"Tauschpalette 1200 x 800", "", "P", "1900", "19", "St", "", "0", "", "0", "1", "St",
             "1", "", "0", "0", "", "J"});
    article(e, "900002", "", "", "", "Einwegpalette",
            {"1200 x 800", "", "P", "1900", "19", "St", "", "0", "", "0", "1", "St", "1", "", "0",
             "0", "", "J"});

    // 70001 Müller Baustoffe.
    article(e, "100100", "70001", "4006209000013", "M-1001", "Dübel 8x40 Nylon",
            {"Spreizdübel mit Kragen", "VE 100 Stück", "L", "1200", "12", "Pak", "Ktn", "10", "St",
             "100", "1", "Pak", "1", "", "0", "0", "", "J"});
    article(e, "100101", "70001", "4006209000020", "M-1002", "Schraube 5x60 verzinkt",
            {"Spanplattenschraube", "Senkkopf, VE 200 Stück", "L", "1200", "12", "Pak", "Ktn", "20",
             "St", "200", "1", "Pak", "1", "", "0", "0", "N", "J"});
    article(e, "100200", "70001", "", "M-2001", "Mörtel 25 kg",
            {"Mauermörtel MG IIa", "Sack 25 kg", "L", "1100", "11", "Sack", "Pal", "40", "kg", "25",
             "1", "Sack", "1", "900001", "40", "40", "", "J"});
    article(e, "100300", "70001", "4006209000044", "M-2002", "Fließestrich 40 kg",
            {"Zementestrich fließfähig", "Sack 40 kg", "L", "1100", "11", "Sack", "Pal", "30", "kg",
             "40", "1", "Sack", "1", "900001", "30", "30", "", "J"});
    article(e, "100900", "70001", "4006209000006", "M-0999", "Dübel 6x30 Nylon",
            {"ausgelaufen", "", "L", "1200", "12", "Pak", "", "0", "", "0", "1", "Pak", "1", "",
             "0", "0", "A", "N"});
    condition(e, "70001", "100100", "01.01.2026", "4.6", "", "%", {"10", "2"}, "4.0572", "0.15",
              "Pak", "5");
    condition(e, "70001", "100100", "01.11.2026", "4.95", "", "%", {"10", "2"}, "4.3659", "0.15",
              "Pak", "5");
    condition(e, "70001", "100101", "01.01.2026", "7.5", "", "N", {}, "7.1", "0", "Pak", "1");
    condition(e, "70001", "100200", "01.03.2026", "6.1", "RG02", "%", {"20", "3"}, "4.7336", "0",
              "Sack", "40");
    condition(e, "70001", "100300", "01.01.2026", "9.5", "", "%", {"10"}, "8.55", "0", "Sack",
              "30");
    salesPrice(e, "100100", "01.01.2026", "1.45", "5.9", "7.02");
    salesPrice(e, "100100", "01.11.2026", "1.45", "6.35", "7.56");
    salesPrice(e, "100101", "01.01.2026", "1.4", "9.95", "11.84");
    salesPrice(e, "100200", "01.03.2026", "1.5", "7.1", "8.45");
    discountGroup(e, "70001", "RG02", "Mörtel und Estrich", "01.03.2026", {"20", "3"});
    discountGroup(e, "70001", "RG02", "Mörtel und Estrich", "01.11.2026", {"22", "3"});
    discountGroup(e, "70001", "RG05", "Werkzeug", "01.01.2026", {"15"});

    // 70002 Schröder Dämmtechnik.
    article(e, "200010", "70002", "4011234500018", "S-10", "Dämmplatte 100 mm",
            {"Mineralwolle WLG 035", "1200 x 600 mm", "L", "1300", "13", "qm", "Pak", "6", "", "0",
             "1", "Pak", "1", "900002", "24", "12", "", "J"});
    article(e, "200011", "70002", "", "S-11-035", "Dämmplatte 120 mm WLG 035",
            {"Mineralwolle", "1200 x 600 mm", "L", "1300", "13", "qm", "Pak", "5", "", "0", "1",
             "Pak", "1", "900002", "24", "12", "", "J"});
    article(e, "200020", "70002", "4011234500032", "S-20", "Dampfbremsfolie 50 m²",
            {"PE-Folie 0,2 mm", "Rolle 50 qm", "L", "1310", "13", "Rol", "", "0", "qm", "50", "1",
             "Rol", "1", "", "0", "0", "", "J"});
    condition(e, "70002", "200010", "01.06.2026", "11.9", "", "%", {"15"}, "10.115", "0", "qm",
              "12");
    salesPrice(e, "200010", "01.06.2026", "1.35", "13.65", "16.24");

    // 70003 Weiß & Söhne Fliesen.
    article(e, "300300", "70003", "4020000000011", "F-300", "Fußleiste Eiche 2,4 m",
            {"Sockelleiste massiv", "Länge 2,4 m", "L", "1400", "14", "St", "", "0", "m", "2.4",
             "1", "St", "1", "", "0", "0", "S", "J"});
    article(e, "300310", "70003", "", "F-301-90", "Türschwelle Edelstahl 90 cm",
            {"Übergangsprofil", "", "L", "1400", "14", "St", "", "0", "", "0", "1", "St", "1", "",
             "0", "0", "", "J"});
    article(e, "300320", "70003", "", "F-310", "Fliesenkleber flex 25 kg",
            {"C2TE S1", "Sack 25 kg", "L", "1410", "14", "Sack", "Pal", "42", "kg", "25", "1",
             "Sack", "1", "900001", "42", "42", "", "J"});
    // Not released yet; its description holds a double quote.
    article(e, "300330", "70003", "", "F-320", "Rohrmanschette 1/2\" Dichtband",
            {"Dichtmanschette für Wanddurchführung", "", "L", "1400", "14", "St", "", "0", "", "0",
             "1", "St", "1", "", "0", "0", "N", "J", "N"});
    condition(e, "70003", "300300", "01.07.2026", "7.8", "", "N", {}, "7.8", "0", "St", "10");
    condition(e, "70003", "300300", "01.01.2027", "8.2", "", "N", {}, "8.2", "0", "St", "10");
    salesPrice(e, "300300", "01.01.2027", "1.6", "13.1", "15.59");
    discountGroup(e, "70003", "RG21", "Kleber und Mörtel", "01.01.2027", {"12.5", "2"});
    discountGroup(e, "70003", "RG22", "Profile", "01.07.2026", {"8"});
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

namespace {

// Company 1: the demo company.
void firstCompany(StandinEngine& e) {
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

    // Passwords "demo", "alt" and "lager".
    user(e, kFirst, QStringLiteral("DEM"),
         QStringLiteral("$argon2id$v=19$m=19456,t=2,p=1$b8CXe3+Fwe0qh3ckOll20w$"
                        "sDgv6ldCgmeLjfMlZyFWjJCbmB2iu9oRaBKUXPpSIrE"),
         QStringLiteral("J"), QStringLiteral("J"), QStringLiteral("Dörte Demo"),
         QStringLiteral("1001"), QStringLiteral("10"));
    user(e, kFirst, QStringLiteral("ALT"),
         QStringLiteral("$argon2id$v=19$m=19456,t=2,p=1$BNKq8XgK9XNzmgn7HkVXxQ$"
                        "NtrcqPEQDqqHDXffGIlatl9EvEP46laQP7zLRj05vYc"),
         QStringLiteral("N"), QStringLiteral("J"), QStringLiteral("Albert Ausgeschieden"),
         QStringLiteral("1002"), QStringLiteral("30"));
    user(e, kFirst, QStringLiteral("LAG"),
         QStringLiteral("$argon2id$v=19$m=19456,t=2,p=1$KpJ6yNcVlugYdT3aEnX5dA$"
                        "IatdZJBSeu4ZaRj16Kz1/UXRkPs6aFWgpioXQfKWi2M"),
         QStringLiteral("J"), QStringLiteral("N"), QStringLiteral("Lutz Lagerbühl"),
         QStringLiteral("1003"), QStringLiteral("20"));

    supplier(e, QStringLiteral("70001"), QStringLiteral("Müller Baustoffe GmbH"),
             QStringLiteral("50829"), QStringLiteral("Köln"));
    supplier(e, QStringLiteral("70002"), QStringLiteral("Schröder Dämmtechnik KG"),
             QStringLiteral("40231"), QStringLiteral("Düsseldorf"));
    supplier(e, QStringLiteral("70003"), QStringLiteral("Weiß & Söhne Fliesen"),
             QStringLiteral("48155"), QStringLiteral("Münster"));
    supplier(e, QStringLiteral("70004"), QStringLiteral("Großhandel Äußere Straße"),
             QStringLiteral("23554"), QStringLiteral("Lübeck"));
    customers(e);

    insert(e, QStringLiteral("GUIVELTAR.Server"),
           {{QStringLiteral("Bezeichnung"), erp(QStringLiteral("Demo-Firma (lokal)"))},
            {QStringLiteral("Namespace"), QStringLiteral("VELTAR")},
            {QStringLiteral("Firma"), QStringLiteral("1")},
            {QStringLiteral("Filiale"), QStringLiteral("0")},
            {QStringLiteral("ServerIP"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("Port"), QStringLiteral("1973")},
            {QStringLiteral("WJ"), QStringLiteral("2027")}});

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

    // The ERP data before the downloads: their positions are filled from it.
    erpData(e);
    const QString first = download(
        e, QStringLiteral("2026-10-05"), QStringLiteral("DEM"), QStringLiteral("70001"),
        QStringLiteral("01.11.2026"),
        {{u"MUE", u"4006209000013", u"M-1001", u"Dübel 8x40 Nylon", u"PAK", u"4,95", u"RG01"},
         {u"MUE", u"4006209000020", u"M-1002", u"Schraube 5x60 verzinkt", u"PAK", u"7,80", u"RG01"},
         {u"MUE", u"4006209000037", u"M-2001", u"Mörtel 25 kg", u"SCK", u"6,40", u"RG02"}});
    const QString second = download(
        e, QStringLiteral("2026-11-12"), QStringLiteral("DEM"), QStringLiteral("70002"),
        QStringLiteral("01.12.2026"),
        {{u"SDT", u"4011234500018", u"S-10", u"Dämmplatte 100 mm", u"M2", u"12,50", u"RG10"},
         {u"SDT", u"4011234500025", u"S-11", u"Dämmplatte 120 mm", u"M2", u"14,90", u"RG10"}});
    const QString third = download(
        e, QStringLiteral("2026-12-01"), QStringLiteral("LAG"), QStringLiteral("70003"),
        QStringLiteral("01.01.2027"),
        {{u"WSF", u"4020000000011", u"F-300", u"Fußleiste Eiche 2,4 m", u"STK", u"8,20", u"RG20"},
         {u"WSF", u"4020000000028", u"F-301", u"Türschwelle Edelstahl", u"STK", u"19,90", u"RG20"},
         {u"WSF", u"4020000000035", u"F-302", u"Fliesenkleber 25 kg", u"SCK", u"11,30", u"RG21"},
         {u"WSF", u"4020000000042", u"F-303", u"Fugenmörtel grau 5 kg", u"SCK", u"9,60", u"RG21"}});
    // The discount groups the buyer has begun on (RG02 of the first and RG21
    // of the third download are as the ERP holds them): the supplier's rates
    // of RG01, RG10 without a date yet, RG20 mapped to the ERP's RG22 with a
    // new rate.
    groupEdit(e, first, QStringLiteral("RG01"), QStringLiteral("RG01"),
              QStringLiteral("Dübel und Schrauben"), QStringLiteral("01.11.2026"),
              {QStringLiteral("10"), QStringLiteral("2")});
    groupEdit(e, second, QStringLiteral("RG10"), QStringLiteral("RG10"),
              QStringLiteral("Dämmstoffe"), QString(), {QStringLiteral("15")});
    groupEdit(e, third, QStringLiteral("RG20"), QStringLiteral("RG22"), QStringLiteral("Profile"),
              QStringLiteral("01.01.2027"), {QStringLiteral("10")});

    // The number range of the articles a posting creates; no other article
    // of the demo has a number from it.
    insert(e, QStringLiteral("VT.ParNrKreis"),
           {{QStringLiteral("FIRMA"), QStringLiteral("1")},
            {QStringLiteral("ART"), QStringLiteral("ARTNR")},
            {QStringLiteral("VON"), QStringLiteral("500000")},
            {QStringLiteral("BIS"), QStringLiteral("599999")},
            {QStringLiteral("LETZTE"), QStringLiteral("500000")}});

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

// Company 2: a second company with a user of its own, one supplier, a few
// ERP articles and one download, so that each company's data is seen to be
// its own.
void secondCompany(StandinEngine& e) {
    StandinTransaction t(e);
    const QString firma = QStringLiteral("2");
    insert(e, QStringLiteral("VT.Standort"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("CODE"), QStringLiteral("01")},
            {QStringLiteral("Text"), QStringLiteral("Werk Bonn")}});
    insert(e, QStringLiteral("VT.ParPersAbt"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("ABTNR"), QStringLiteral("10")},
            {QStringLiteral("abtbez"), QStringLiteral("Einkauf")},
            {QStringLiteral("HAbtNr"), QStringLiteral("10")}});
    // Password "zwei".
    user(e, firma, QStringLiteral("ZW"),
         QStringLiteral("$argon2id$v=19$m=19456,t=2,p=1$RHfq2OzDgTobYoKsnTAh1Q$"
                        "x8PzYK8t7Q5LrAnTDW1c+iUit7OatTap+lHXTVDVXRs"),
         QStringLiteral("J"), QStringLiteral("J"), QStringLiteral("Zora Zweig"),
         QStringLiteral("2001"), QStringLiteral("10"));
    supplier(e, QStringLiteral("80001"), QStringLiteral("Rheinkies Zweig GmbH"),
             QStringLiteral("53111"), QStringLiteral("Bonn"), firma);

    codes(e, QStringLiteral("VT.ParArtTyp"), {{u"L", u"Lagerartikel"}}, QStringLiteral("BEZ"),
          firma);
    codes(e, QStringLiteral("VT.ParAbteilung"), {{u"21", u"Schüttgüter"}}, QStringLiteral("BEZ"),
          firma);
    codes(e, QStringLiteral("VT.ParEinheit"), {{u"t", u"Tonne"}, {u"Sack", u"Sack"}},
          QStringLiteral("BEZ"), firma);
    codes(e, QStringLiteral("VT.ParMwst"), {{u"1", u"19"}}, QStringLiteral("SATZ"), firma);
    insert(e, QStringLiteral("VT.ParWarengruppe"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("CODE"), QStringLiteral("2100")},
            {QStringLiteral("BEZ"), QStringLiteral("Kies und Sand")},
            {QStringLiteral("ABTNR"), QStringLiteral("21")},
            {QStringLiteral("MWST"), QStringLiteral("1")}});
    for (const auto& [ext, unit] : {std::pair{u"T", u"t"}, std::pair{u"SCK", u"Sack"}})
        insert(e, QStringLiteral("VT.Einheit"),
               {{QStringLiteral("FIRMA"), firma},
                {QStringLiteral("EXT"), QString::fromUtf16(ext)},
                {QStringLiteral("ERP"), QString::fromUtf16(unit)}});
    insert(e, QStringLiteral("quendrap.liefid"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("HerstCode"), QStringLiteral("RKZ")},
            {QStringLiteral("LNR"), QStringLiteral("80001")}});

    const QStringList bulk{"lose", "",  "L", "2100", "21", "t", "",  "0", "",
                           "0",    "1", "t", "1",    "",   "0", "0", "",  "J"};
    article(e, "800100", "80001", "4260123800109", "K-28", "Kies 2/8", bulk, firma);
    article(e, "800200", "80001", "", "K-02", "Sand 0/2 gewaschen", bulk, firma);
    article(e, "800300", "80001", "4260123800307", "K-25", "Splitt 2/5 Sack 25 kg",
            {"", "", "L", "2100", "21", "Sack", "", "0", "", "0", "1", "Sack", "1", "", "0", "0",
             "", "J"},
            firma);
    condition(e, "80001", "800100", "01.01.2027", "24.5", "", "N", {}, "24.5", "0", "t", "1",
              firma);
    insert(e, QStringLiteral("VT.ParNrKreis"),
           {{QStringLiteral("FIRMA"), firma},
            {QStringLiteral("ART"), QStringLiteral("ARTNR")},
            {QStringLiteral("VON"), QStringLiteral("800000")},
            {QStringLiteral("BIS"), QStringLiteral("899999")},
            {QStringLiteral("LETZTE"), QStringLiteral("800300")}});

    download(e, QStringLiteral("2026-12-15"), QStringLiteral("ZW"), QStringLiteral("80001"),
             QStringLiteral("01.01.2027"),
             {{u"RKZ", u"4260123800109", u"K-28", u"Kies 2/8 lose", u"T", u"24,50", u"RG01"},
              {u"RKZ", u"", u"K-02", u"Sand 0/2 gewaschen", u"T", u"19,80", u"RG01"},
              {u"RKZ", u"", u"K-99", u"Rheinkiesel 16/32", u"T", u"31,00", u"RG02"}},
             firma);
    e.setMeta(QStringLiteral("demo2"), QStringLiteral("1"));
    t.commit();
}

} // namespace

void PointDemoServerEntry(StandinEngine& e, const QString& address, quint16 port) {
    StandinTransaction t(e);
    e.execText(QStringLiteral("UPDATE guiveltar_server SET ServerIP=?, Port=? WHERE Bezeichnung=?"),
               {address, QString::number(port), erp(QStringLiteral("Demo-Firma (lokal)"))});
    t.commit();
}

void FillDemoData(StandinEngine& e) {
    if (e.meta(QStringLiteral("demo")) != u"1")
        firstCompany(e);
    // A demo database of an earlier version gets the second company.
    if (e.meta(QStringLiteral("demo2")) != u"1")
        secondCompany(e);
}

QString FillDemoPositions(StandinEngine& e, int count) {
    FillDemoData(e);
    StandinTransaction t(e);
    const QString lnr = QStringLiteral("70001");
    const QString date = QStringLiteral("01.04.2027");
    StoredObject d;
    d.cls = e.findClass(QStringLiteral("quendrap.downloads"));
    d.values = {{QStringLiteral("Firma"), QStringLiteral("1")},
                {QStringLiteral("Datum"), QDate::currentDate().toString(Qt::ISODate)},
                {QStringLiteral("PCODE"), QStringLiteral("DEM")},
                {QStringLiteral("LNR"), lnr},
                {QStringLiteral("Status"), QStringLiteral("0")}};
    e.saveObject(d);
    // Article numbers and EANs that no other download uses.
    const QString series = QStringLiteral("%1").arg(d.id.toInt() % 100, 2, 10, QChar(u'0'));
    QHash<QString, QStringList> cache;
    PositionFiller filler(e, cache);
    for (int i = 0; i < count; ++i) {
        const double price = 1 + (i % 5000) / 100.0;
        const QString ean =
            QStringLiteral("40") + series + QStringLiteral("%1").arg(i, 9, 10, QChar(u'0'));
        const QString bestnr = QStringLiteral("G%1-%2").arg(series).arg(i);
        if (i % 3 == 0) {
            const int k = i / 3;
            const QString artnr = QStringLiteral("6%1%2").arg(series).arg(k, 6, 10, QChar(u'0'));
            article(e, artnr, lnr, ean, bestnr, QStringLiteral("Testartikel %1").arg(i),
                    {QStringLiteral("Serie ") + series, QString(), "L", "1200", "12", "Pak", "Ktn",
                     "10", "St", "100", "1", "Pak", "1", "", "0", "0", "", "J"});
            condition(e, lnr, artnr, QStringLiteral("01.01.2026"), ErpNumber(price * 0.95, 2), "",
                      "%", {"10"}, ErpNumber(price * 0.855, 4), "0", "Pak", "1");
            if (k % 2 == 0)
                condition(e, lnr, artnr, date, ErpNumber(price, 2), "", "%", {"10"},
                          ErpNumber(price * 0.9, 4), "0", "Pak", "1");
            if (k % 4 == 0)
                salesPrice(e, artnr, date, "1.4", ErpNumber(price * 1.26, 2),
                           ErpNumber(price * 1.26 * 1.19, 2));
        }
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
