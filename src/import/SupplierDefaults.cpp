#include "SupplierDefaults.h"

#include "base/SessionContext.h"
#include "common/ServerError.h"
#include "server/Connection.h"
#include "server/ErpClasses.h"

namespace {
const QString kClass = DefaultsClass::kClass;
} // namespace

SupplierDefaults LoadSupplierDefaults(Connection& connection, const QString& supplier, bool* ok) {
    SupplierDefaults d;
    const bool done = connection.call(QStringLiteral("FMDef.Form_Load Defaults lesen"), [&] {
        d.name = DownloadsClass(connection.client()).lname(Session().firma, supplier);
        ServerObject o;
        try {
            o = connection.client().openObject(kClass,
                                               Session().firma + QStringLiteral("||") + supplier);
        } catch (const ServerError& e) {
            if (e.number() == ServerErrors::ObjectMissing)
                return;
            throw;
        }
        d.warengruppe = o.get(DefaultsClass::kWarengruppe);
        d.aufschlag = o.get(DefaultsClass::kAufschlag);
        d.rundung = o.get(DefaultsClass::kRundung);
        const QString f = o.get(DefaultsClass::kFreigabe);
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
            o.set(DefaultsClass::kFIRMA, Session().firma);
            o.set(DefaultsClass::kLNR, supplier);
        }
        o.set(DefaultsClass::kWarengruppe, d.warengruppe);
        o.set(DefaultsClass::kAufschlag, d.aufschlag);
        o.set(DefaultsClass::kRundung, d.rundung);
        o.set(DefaultsClass::kFreigabe, d.freigabe);
        o.save();
        CloseObject(o);
    });
}
