// Users, departments and personnel data of the ERP, the locations and the
// server connection list.
#include "Access.h"
#include "Job.h"
#include "Passwords.h"
#include "StandinClasses.h"
#include "StandinEngine.h"
#include "common/ServerError.h"
#include "common/TextHelpers.h"

#include <QSqlQuery>

namespace {

QString firmaId(const StoredObject& o, const QString& keyProperty) {
    return o.values.value(QStringLiteral("FIRMA")) + QStringLiteral("||") +
           o.values.value(keyProperty);
}

} // namespace

namespace {

// Names are stored in the 7-bit form; ODBC clients get them readable.
QString pnameLogicalToOdbc(CallContext&, StoredObject&, QStringList& args) {
    return ConvertText(args.value(0), QStringLiteral("VELTAR"), false);
}

// The user of a password and company: column 1 the code, answered only
// with the connection's own credentials (Access.h).
std::unique_ptr<QueryCursor> userViaPasswortQuery(CallContext& ctx, const QStringList& args) {
    return OwnUserViaPassword(ctx.job, args);
}

// "code text`code text`..." of the company's locations, by code.
QString getStandorte(CallContext& ctx, QStringList& args) {
    QSqlQuery& q = ctx.engine.exec(
        QStringLiteral("SELECT CODE, Text FROM vt_standort WHERE FIRMA=? ORDER BY CODE"),
        {args.value(0)});
    QStringList entries;
    while (StandinStore::nextRow(q))
        entries << q.value(0).toString() + u' ' + q.value(1).toString();
    q.finish();
    return entries.join(u'`');
}

// The location assigned to a workstation; "" when it has none.
QString getDeviceStandort(CallContext& ctx, QStringList& args) {
    QSqlQuery& q = ctx.engine.exec(QStringLiteral("SELECT Standort FROM vt_device WHERE "
                                                  "lower(Name)=lower(?)"),
                                   {args.value(0)});
    const QString s = StandinStore::nextRow(q) ? q.value(0).toString() : QString();
    q.finish();
    return s;
}

// Columns: id, Bezeichnung, Namespace, Firma, Filiale, ServerIP, Port, WJ.
std::unique_ptr<QueryCursor> serverListQuery(CallContext& ctx, const QStringList&) {
    return std::make_unique<SqlCursor>(
        ctx.engine,
        QStringLiteral("SELECT id, Bezeichnung, Namespace, Firma, Filiale, ServerIP, Port, "
                       "WJ FROM guiveltar_server ORDER BY CAST(id AS INTEGER), id"),
        QVariantList{}, erp::ServerList::kListe.columnCount());
}

// A database of an earlier version keeps passwords in clear: they become
// hashes when it is opened.
void hashClearPasswords(StandinStore& store) {
    QSqlQuery& q =
        store.exec(QStringLiteral("SELECT id, Passwort FROM vt_parpersedv WHERE Passwort<>''"));
    QList<std::pair<QString, QString>> clear;
    while (StandinStore::nextRow(q))
        if (!Passwords::IsHash(q.value(1).toString()))
            clear.append({q.value(0).toString(), q.value(1).toString()});
    q.finish();
    if (!clear.isEmpty()) {
        StandinTransaction t(store);
        for (const auto& [id, password] : std::as_const(clear))
            store.execText(QStringLiteral("UPDATE vt_parpersedv SET Passwort=? WHERE id=?"),
                           {Passwords::Hash(password), id});
        t.commit();
    }
}

} // namespace

void RegisterPersonnelClasses(StandinRegistry& registry) {
    // User records: id FIRMA||CODE, the code in the ERP's 7-bit form.
    ClassDef& edv = registry.defineClass(erp::ParPersEdv::kClass, QStringLiteral("vt_parpersedv"),
                                         {QStringLiteral("FIRMA"), QStringLiteral("CODE"),
                                          QStringLiteral("Passwort"), QStringLiteral("AKTIV"),
                                          QStringLiteral("FAJN"), QStringLiteral("PNAME"),
                                          QStringLiteral("PNR"), QStringLiteral("ABTNR"),
                                          QStringLiteral("DW"), QStringLiteral("BERGRP")},
                                         false);
    edv.idOf = [](const StoredObject& o) { return firmaId(o, QStringLiteral("CODE")); };
    // "Passwort" is kept as a hash, whoever stores a user (Passwords.h).
    edv.beforeSave = [](StoredObject& o) {
        QString& password = o.values[QStringLiteral("Passwort")];
        if (!password.isEmpty() && !Passwords::IsHash(password))
            password = Passwords::Hash(password);
    };
    hashClearPasswords(registry.store());
    edv.methods.insert(erp::ParPersEdv::kPNAMELogicalToODBC, pnameLogicalToOdbc);
    AddQuery(edv, erp::ParPersEdv::kUserViaPasswort, userViaPasswortQuery);

    ClassDef& abt = registry.defineClass(erp::ParPersAbt::kClass, QStringLiteral("vt_parpersabt"),
                                         {QStringLiteral("FIRMA"), QStringLiteral("ABTNR"),
                                          QStringLiteral("abtbez"), QStringLiteral("HAbtNr")},
                                         false);
    abt.idOf = [](const StoredObject& o) { return firmaId(o, QStringLiteral("ABTNR")); };

    ClassDef& basis = registry.defineClass(erp::PersBasis::kClass, QStringLiteral("vt_persbasis"),
                                           {QStringLiteral("FIRMA"), QStringLiteral("PNR"),
                                            QStringLiteral("Name"), QStringLiteral("Fax"),
                                            QStringLiteral("EMail")},
                                           false);
    basis.idOf = [](const StoredObject& o) { return firmaId(o, QStringLiteral("PNR")); };

    // Locations of a company and the workstations assigned to them.
    registry
        .defineClass(erp::Data::kStandort, QStringLiteral("vt_standort"),
                     {QStringLiteral("FIRMA"), QStringLiteral("CODE"), QStringLiteral("Text")},
                     false)
        .idOf = [](const StoredObject& o) { return firmaId(o, QStringLiteral("CODE")); };
    registry
        .defineClass(erp::Data::kDevice, QStringLiteral("vt_device"),
                     {QStringLiteral("Name"), QStringLiteral("Standort")}, false)
        .idOf = [](const StoredObject& o) { return o.values.value(QStringLiteral("Name")); };

    ClassDef& menue = registry.defineClass(erp::Menue::kClass);
    menue.classMethods.insert({
        {erp::Menue::kGetStandorte, getStandorte},
        {erp::Menue::kGetDeviceStandort, getDeviceStandort},
    });

    // The server connection list: one entry per ERP server and company.
    // The list is the login window's, for every company: its entries
    // belong to none.
    ClassDef& server = registry.defineClass(
        erp::ServerList::kClass, QStringLiteral("guiveltar_server"),
        {QStringLiteral("Bezeichnung"), QStringLiteral("Namespace"), QStringLiteral("Firma"),
         QStringLiteral("Filiale"), QStringLiteral("ServerIP"), QStringLiteral("Port"),
         QStringLiteral("WJ")});
    server.companyOf = [](StandinEngine&, const StoredObject&) { return QString(); };
    // A name names one company's server: every company's login window
    // shows the entries, so a second entry of the same name for another
    // company is refused.
    server.beforeSave = [&store = registry.store()](StoredObject& o) {
        const QString name = o.values.value(QStringLiteral("Bezeichnung"));
        if (name.isEmpty())
            return;
        // The other entry's company, marked so that an entry for all
        // companies is found too.
        const QString other = store.textValue(
            QStringLiteral("SELECT '#'||coalesce(Firma,'') FROM guiveltar_server WHERE "
                           "Bezeichnung=? AND coalesce(Firma,'')<>? AND id<>? LIMIT 1"),
            {name, o.values.value(QStringLiteral("Firma")), o.id});
        if (!other.isEmpty())
            throw ServerError(StandinErrors::BadArguments,
                              QStringLiteral("Servereintrag ") + name +
                                  QStringLiteral(" gibt es schon für Firma ") + other.mid(1));
    };
    // The server list window's "Ändern" (Rights.h).
    server.writes = {true, server.properties, server.properties};
    AddQuery(server, erp::ServerList::kListe, serverListQuery);
}
