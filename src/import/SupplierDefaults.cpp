#include "SupplierDefaults.h"

#include "base/SessionContext.h"
#include "common/ServerError.h"
#include "server/Connection.h"

namespace {
const QString kClass = QStringLiteral("quendrap.defaults");
} // namespace

SupplierDefaults LoadSupplierDefaults(Connection& connection, const QString& supplier, bool* ok) {
    SupplierDefaults d;
    const bool done = connection.call(QStringLiteral("FMDef.Form_Load Defaults lesen"), [&] {
        ClassHandle downloads =
            connection.client().classHandle(QStringLiteral("quendrap.downloads"));
        d.name = downloads.call(QStringLiteral("lname"), QStringList{Session().firma, supplier});
        ServerObject o;
        try {
            o = connection.client().openObject(kClass,
                                               Session().firma + QStringLiteral("||") + supplier);
        } catch (const ServerError& e) {
            if (e.number() == ServerErrors::ObjectMissing)
                return;
            throw;
        }
        d.warengruppe = o.get(QStringLiteral("Warengruppe"));
        d.aufschlag = o.get(QStringLiteral("Aufschlag"));
        d.rundung = o.get(QStringLiteral("Rundung"));
        const QString f = o.get(QStringLiteral("Freigabe"));
        d.freigabe = f.isEmpty() ? QStringLiteral("N") : f;
        CloseObject(o);
    });
    if (ok)
        *ok = done;
    return d;
}

bool SaveSupplierDefaults(Connection& connection, const QString& supplier,
                          const SupplierDefaults& d) {
    return connection.call(QStringLiteral("FMDef.BUSpeich Defaults speichern"), [&] {
        const QString id = Session().firma + QStringLiteral("||") + supplier;
        ServerObject o;
        try {
            o = connection.client().openObject(kClass, id);
        } catch (const ServerError& e) {
            if (e.number() != ServerErrors::ObjectMissing)
                throw;
            o = connection.client().newObject(kClass);
            o.set(QStringLiteral("FIRMA"), Session().firma);
            o.set(QStringLiteral("LNR"), supplier);
        }
        o.set(QStringLiteral("Warengruppe"), d.warengruppe);
        o.set(QStringLiteral("Aufschlag"), d.aufschlag);
        o.set(QStringLiteral("Rundung"), d.rundung);
        o.set(QStringLiteral("Freigabe"), d.freigabe);
        o.save();
        CloseObject(o);
    });
}
