#pragma once

// The ERP classes the program calls besides quendrap.pos (PosClass.h), by
// the names of the ERP contract (common/erp): each wrapper carries its
// class's name (kClass), the methods, properties and queries the program
// calls there, and each query's columns in order. Made on a client, the
// classes with class methods offer them as typed functions and their
// queries ready to execute; every call throws ServerError like the client.

#include "common/erp/Downloads.h"
#include "common/erp/Personnel.h"
#include "common/erp/Windows.h"
#include "server/ServerClient.h"

#include <QString>
#include <QStringList>

// quendrap.downloads: the supplier downloads of the main window, the
// import and the posting.
class DownloadsClass : public erp::Downloads {
public:
    explicit DownloadsClass(ServerClient& server) : m_server(server) {}
    // The supplier's name; "" for a supplier the ERP does not know.
    QString lname(const QString& firma, const QString& supplier);
    // The company's unit assignments, one text.
    QString geteinh(const QString& firma);
    // Deletes a download with its positions.
    void dellief(const QString& key);
    // The query "liste" (company): the downloads of the main window.
    ResultSet liste();

private:
    ServerClient& m_server;
};
// quendrap.defaults: a supplier's defaults for new positions.
struct DefaultsClass : erp::Defaults {};
// quendrap.liefid: the supplier of a manufacturer code.
class LiefidClass : public erp::Liefid {
public:
    explicit LiefidClass(ServerClient& server) : m_server(server) {}
    // The supplier number of a manufacturer code; "" for none.
    QString getlnr(const QString& firma, const QString& manufacturerCode);

private:
    ServerClient& m_server;
};
// quendrap.ekgrp: a download's purchase discount groups.
class EkgrpClass : public erp::Ekgrp {
public:
    explicit EkgrpClass(ServerClient& server);
    // Whether the ERP holds the group so from that date ("0": it does not).
    QString tstdatum(const QString& group, const QString& download, const QString& date);
    // Stores a group as edited: id, supplier group, ERP group, description,
    // date and the four rates, in the server's forms.
    void speich(const QStringList& fields);
    // Posts the download's groups into the ERP (release "J" or "N"); the
    // server's answer.
    QString verbuch(const QString& download, const QString& personnelCode, const QString& release);
    // The query "Liste" (download): one row per supplier group.
    ResultSet liste();

private:
    ServerClient& m_server;
    ClassHandle m_handle;
};

// VT.Windows: M commands ("Xecute") and the partner search "KkrSuche".
struct WindowsClass : erp::Windows {};
// VT.XW: the rows of a list expression ("Liste").
class XwClass : public erp::Xw {
public:
    explicit XwClass(ServerClient& server) : m_server(server) {}
    // The query "Liste" (expression): the rows of a list expression.
    ResultSet liste() { return m_server.resultSet(kClass, kListe); }

private:
    ServerClient& m_server;
};

// The login's classes: users, departments, personnel records, locations
// and the server list.
struct ParPersEdvClass : erp::ParPersEdv {};
struct ParPersAbtClass : erp::ParPersAbt {};
struct PersBasisClass : erp::PersBasis {};
class MenueClass : public erp::Menue {
public:
    explicit MenueClass(ServerClient& server) : m_handle(server.classHandle(kClass)) {}
    // The company's locations, each closed by a backquote.
    QString getStandorte(const QString& firma);
    // The location of a workstation.
    QString getDeviceStandort(const QString& workstation);

private:
    ClassHandle m_handle;
};
struct ServerListClass : erp::ServerList {};

// The search dialogs' customer groups and account groups.
struct KundenGruppenClass : erp::KundenGruppen {};
struct KontoSammelKontoKreisClass : erp::KontoSammelKontoKreis {};
