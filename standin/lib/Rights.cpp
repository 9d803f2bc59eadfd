#include "Rights.h"

#include "Job.h"
#include "StandinEngine.h"
#include "classes/ErpPositions.h"
#include "common/PositionLineRules.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"
#include "common/erp/Contract.h"

namespace {

using Wire::Op;

const QString kUsers = erp::ParPersEdv::kClass;
const QString kPassword = erp::ParPersEdv::kPasswort;

[[noreturn]] void refuse(const QString& what) {
    throw ServerError(StandinErrors::NotAllowed, QStringLiteral("Keine Berechtigung: ") + what);
}

[[noreturn]] void otherCompany(const QString& company) {
    refuse(QStringLiteral("Firma ") + company +
           QStringLiteral(" ist nicht die Firma der Anmeldung"));
}

[[noreturn]] void otherUser(const QString& code) {
    refuse(QStringLiteral("Benutzer ") + code +
           QStringLiteral(" ist nicht der angemeldete Benutzer"));
}

// Where a call names a company or a user: the class, the class method or
// query, and the argument's place among the call's arguments.
struct Argument {
    Op op;
    erp::Name className;
    erp::Name name;
    int index;
};

constexpr Argument kCompanyArguments[] = {
    {Op::Query, erp::Downloads::kClass, erp::Downloads::kListe.name, 0},
    {Op::ClassMethod, erp::Downloads::kClass, erp::Downloads::kLname, 0},
    {Op::ClassMethod, erp::Downloads::kClass, erp::Downloads::kGeteinh, 0},
    {Op::ClassMethod, erp::Liefid::kClass, erp::Liefid::kGetlnr, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kSetliefid, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetlieferart, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetcombo, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetekdat1, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetvkdat1, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetekdat, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetvkdat, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetwgdaten, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kGetposvt, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kAnrzuord, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kVerbuch, 0},
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kSetEan, 0},
    {Op::ClassMethod, erp::Menue::kClass, erp::Menue::kGetStandorte, 0},
    {Op::Query, erp::Windows::kClass, erp::Windows::kKkrSuche.name, 0},
    {Op::Query, erp::KundenGruppen::kClass, erp::KundenGruppen::kListe.name, 0},
    {Op::Query, erp::KontoSammelKontoKreis::kClass, erp::KontoSammelKontoKreis::kListe.name, 0},
};

// The user whose code stamps what a posting writes.
constexpr Argument kUserArguments[] = {
    {Op::ClassMethod, erp::Pos::kClass, erp::Pos::kVerbuch, 3},
    {Op::ClassMethod, erp::Ekgrp::kClass, erp::Ekgrp::kVerbuch, 1},
};

// The places of the arguments of a list, by operation, class and name,
// looked up once per call (the import calls savezeile by the hundred
// thousand).
using Places = QHash<QString, int>;

template <size_t N> Places placesOf(const Argument (&list)[N]) {
    Places places;
    for (const Argument& a : list)
        places.insert(QString::number(int(a.op)) + u'|' + a.className.toString() + u'|' +
                          a.name.toString(),
                      a.index);
    return places;
}

// The argument of a call at its place in the list (class methods after
// class and method, queries after class, query and batch size); null when
// the call is not one of the list.
std::optional<QString> argumentOf(const Places& places, const Wire::Request& r) {
    if (r.op != Op::ClassMethod && r.op != Op::Query)
        return std::nullopt;
    const auto it = places.constFind(QString::number(int(r.op)) + u'|' + r.args.value(0) + u'|' +
                                     r.args.value(1));
    if (it == places.constEnd())
        return std::nullopt;
    return r.args.value((r.op == Op::Query ? 3 : 2) + *it);
}

const Places& companyPlaces() {
    static const Places places = placesOf(kCompanyArguments);
    return places;
}

const Places& userPlaces() {
    static const Places places = placesOf(kUserArguments);
    return places;
}

// The company of a list expression of the positions window
// ("COMBO|company|...", "EKDAT|...", "VKDAT|...", "POSVT|..."); null for
// the web price data and anything else.
std::optional<QString> expressionCompany(const Wire::Request& r) {
    if (r.op != Op::Query || r.args.value(0) != erp::Xw::kClass.view() ||
        r.args.value(1) != erp::Xw::kListe.name.view())
        return std::nullopt;
    const QString expression = r.args.value(3);
    const QString kind = expression.section(u'|', 0, 0);
    if (kind == u"COMBO" || kind == u"EKDAT" || kind == u"VKDAT" || kind == u"POSVT")
        return expression.section(u'|', 1, 1);
    return std::nullopt;
}

bool isOtherUserRecord(const Job& job, const StoredObject& object) {
    return object.cls->name == kUsers && (job.userId().isEmpty() || object.id != job.userId());
}

void checkCompanyArguments(const Job& job, const Wire::Request& r) {
    std::optional<QString> company = argumentOf(companyPlaces(), r);
    if (!company)
        company = expressionCompany(r);
    if (company && *company != job.company())
        otherCompany(*company);
}

// SET: only the writable properties of the class, the login's company and
// user, texts of bounded length.
void checkSet(Job& job, const Wire::Request& r) {
    const StoredObject* object = job.findObject(r.args.value(0));
    const QString& property = r.args.value(1);
    // Unknown refs and properties are answered as such.
    if (!object || !object->cls->properties.contains(property))
        return;
    const QString& className = object->cls->name;
    const ClassDef::Writes& writes = object->cls->writes;
    if (!(object->id.isEmpty() ? writes.whenNew : writes.whenOpened).contains(property))
        refuse(QStringLiteral("SET ") + className + u'.' + property);
    const QString& value = r.args.value(2);
    // The server list names companies for the login window, which
    // offers every entry to everyone: a user writes only entries of its
    // own company; another company's entry, and one for all companies
    // (no company), are only read. Every other company property takes
    // only the login's.
    if (className == erp::ServerList::kClass.view()) {
        const auto entryOf = [&job](const QString& company) {
            if (company.isEmpty())
                refuse(QStringLiteral("Eintrag für alle Firmen"));
            if (company != job.company())
                otherCompany(company);
        };
        if (!object->id.isEmpty())
            entryOf(job.engine().textValue(QStringLiteral("SELECT Firma FROM guiveltar_server "
                                                          "WHERE id=?"),
                                           {object->id}));
        if (property == u"Firma")
            entryOf(value);
    } else if ((property == u"FIRMA" || property == u"Firma") && value != job.company()) {
        otherCompany(value);
    }
    if (className == erp::Downloads::kClass.view() && property == u"PCODE" &&
        !IsLoginUser(job, value))
        otherUser(value);
    CheckLength(className, property, value);
}

} // namespace

void CheckRights(Job& job, const Wire::Request& r) {
    StandinEngine& engine = job.engine();
    switch (r.op) {
    case Op::New: {
        const QString& className = r.args.value(0);
        const ClassDef* cls = engine.findClass(className);
        // An unknown class is answered as such.
        if (cls && !cls->writes.create)
            refuse(QStringLiteral("NEW ") + className);
        return;
    }
    case Op::Set:
        checkSet(job, r);
        return;
    case Op::Get: {
        const StoredObject* object = job.findObject(r.args.value(0));
        // Of another user's record only "Passwort", which reads as asterisks.
        if (object && isOtherUserRecord(job, *object) && r.args.value(1) != kPassword &&
            object->cls->properties.contains(r.args.value(1)))
            refuse(QStringLiteral("GET ") + object->cls->name + u'.' + r.args.value(1));
        return;
    }
    case Op::Method: {
        const StoredObject* object = job.findObject(r.args.value(0));
        if (!object)
            return;
        const QString& method = r.args.value(1);
        const QString& className = object->cls->name;
        if (method == u"sys_save" && !object->cls->table.isEmpty()) {
            const ClassDef::Writes& writes = object->cls->writes;
            if ((object->id.isEmpty() ? writes.whenNew : writes.whenOpened).isEmpty())
                refuse(QStringLiteral("METHOD ") + className + QStringLiteral(".sys_save"));
        } else if (isOtherUserRecord(job, *object) && object->cls->methods.contains(method)) {
            refuse(QStringLiteral("METHOD ") + className + u'.' + method);
        }
        return;
    }
    case Op::ClassMethod:
    case Op::Query: {
        checkCompanyArguments(job, r);
        if (const auto user = argumentOf(userPlaces(), r); user && !IsLoginUser(job, *user))
            otherUser(*user);
        return;
    }
    default:
        return;
    }
}

QString CompanyOf(StandinEngine& engine, const StoredObject& object) {
    const ClassDef& cls = *object.cls;
    if (cls.companyOf)
        return cls.companyOf(engine, object);
    for (const QString& property : {QStringLiteral("FIRMA"), QStringLiteral("Firma")})
        if (cls.properties.contains(property))
            return object.values.value(property, QStringLiteral(""));
    return QString();
}

bool Visible(Job& job, const StoredObject& object) {
    const QString company = CompanyOf(job.engine(), object);
    return company.isNull() || company == job.company();
}

QString DownloadCompany(StandinEngine& engine, const QString& download) {
    const QString v = engine.textValue(
        QStringLiteral("SELECT 'v'||Firma FROM quendrap_downloads WHERE id=?"), {download});
    return v.isEmpty() ? QStringLiteral("") : v.mid(1);
}

bool OwnDownload(Job& job, const QString& download) {
    return !job.company().isEmpty() && DownloadCompany(job.engine(), download) == job.company();
}

bool IsLoginUser(const Job& job, const QString& code) {
    const QString& own = job.userCode();
    return !own.isEmpty() &&
           (code == own || ConvertText(code, QStringLiteral("GUIVELTAR"), true) == own);
}

int MaxLength(const QString& className, const QString& property) {
    struct Limit {
        erp::Name className;
        erp::Name property;
        int max;
    };
    static constexpr Limit kLimits[] = {
        {erp::ServerList::kClass, u"Bezeichnung", 60},
        {erp::ServerList::kClass, u"Namespace", 30},
        {erp::ServerList::kClass, u"Firma", 9},
        {erp::ServerList::kClass, u"Filiale", 9},
        {erp::ServerList::kClass, u"ServerIP", 255},
        {erp::ServerList::kClass, u"Port", 5},
        {erp::ServerList::kClass, u"WJ", 4},
        {erp::Downloads::kClass, u"Firma", 9},
        {erp::Downloads::kClass, u"Datum", 10},
        {erp::Downloads::kClass, u"PCODE", 20},
        {erp::Downloads::kClass, u"LNR", 20},
        {erp::Downloads::kClass, u"Status", 20},
        {erp::Defaults::kClass, u"FIRMA", 9},
        {erp::Defaults::kClass, u"LNR", 20},
        {erp::Defaults::kClass, u"Warengruppe", 20},
        {erp::Defaults::kClass, u"Aufschlag", 20},
        {erp::Defaults::kClass, u"Rundung", 20},
        {erp::Defaults::kClass, u"Freigabe", 1},
        {erp::Pos::kClass, u"Bez1", PositionLineRules::kMaxText},
        {erp::Pos::kClass, u"bez2", PositionLineRules::kMaxText},
        {erp::Pos::kClass, u"bez3", PositionLineRules::kMaxText},
        {erp::Ekgrp::kClass, u"BEZ", PositionLineRules::kMaxText},
    };
    static const QHash<QString, int> limits = [] {
        QHash<QString, int> h;
        for (const Limit& l : kLimits)
            h.insert(l.className.toString() + u'.' + l.property.toString(), l.max);
        // Codes, numbers and dates of the grid: 40.
        for (const QString& p : PositionGridProperties())
            if (!h.contains(erp::Pos::kClass.toString() + u'.' + p))
                h.insert(erp::Pos::kClass.toString() + u'.' + p, PositionLineRules::kMaxCode);
        return h;
    }();
    const auto it = limits.constFind(className + u'.' + property);
    if (it != limits.constEnd())
        return *it;
    // The discount groups' and the ERP's codes, numbers and dates 40; every
    // other text (the supplier's price line among them) 250.
    if (className == erp::Ekgrp::kClass.view() || className.startsWith(u"VT."))
        return PositionLineRules::kMaxCode;
    return PositionLineRules::kMaxText;
}

void CheckLength(const QString& className, const QString& property, const QString& value) {
    // No text within the shortest limit needs the look-up.
    if (value.size() <= 1)
        return;
    const int max = MaxLength(className, property);
    if (value.size() > max)
        throw ServerError(StandinErrors::BadArguments,
                          QStringLiteral("Text zu lang: ") + className + u'.' + property +
                              QStringLiteral(" hat ") + QString::number(value.size()) +
                              QStringLiteral(" Zeichen, erlaubt sind ") + QString::number(max));
}

void PrepareSave(Job& job, StoredObject& object) {
    // Every writable text within its length, also one stored before the
    // limits were (a SET beyond it never gets here).
    const ClassDef::Writes& writes = object.cls->writes;
    for (const QString& property : object.id.isEmpty() ? writes.whenNew : writes.whenOpened)
        CheckLength(object.cls->name, property, object.values.value(property));
    if (!object.id.isEmpty())
        return;
    // What a new object records of who made it comes from the login.
    const QString& className = object.cls->name;
    if (className == erp::Downloads::kClass.view()) {
        object.values.insert(QStringLiteral("Firma"), job.company());
        object.values.insert(QStringLiteral("PCODE"),
                             ConvertText(job.userCode(), QStringLiteral("VELTAR"), false));
    } else if (className == erp::Defaults::kClass.view()) {
        object.values.insert(QStringLiteral("FIRMA"), job.company());
    } else if (className == erp::ServerList::kClass.view()) {
        // A new entry is the login's company's (a SET of another is refused).
        object.values.insert(QStringLiteral("Firma"), job.company());
    }
}

void ObjectNotFound(const QString& className, const QString& id) {
    throw ServerError(StandinErrors::ObjectMissing,
                      QStringLiteral("Objekt nicht gefunden: ") + className + u' ' + id);
}
