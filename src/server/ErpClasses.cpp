#include "ErpClasses.h"

QString DownloadsClass::lname(const QString& firma, const QString& supplier) {
    return m_server.classHandle(kClass).call(kLname, QStringList{firma, supplier});
}

QString DownloadsClass::geteinh(const QString& firma) {
    return m_server.classHandle(kClass).call(kGeteinh, QStringList{firma});
}

void DownloadsClass::dellief(const QString& key) {
    m_server.classHandle(kClass).call(kDellief, QStringList{key});
}

ResultSet DownloadsClass::liste() {
    return m_server.resultSet(kClass, kListe);
}

QString LiefidClass::getlnr(const QString& firma, const QString& manufacturerCode) {
    return m_server.classHandle(kClass).call(kGetlnr, QStringList{firma, manufacturerCode});
}

EkgrpClass::EkgrpClass(ServerClient& server)
    : m_server(server), m_handle(server.classHandle(kClass)) {}

QString EkgrpClass::tstdatum(const QString& group, const QString& download, const QString& date) {
    QStringList args{group, download, date};
    return m_handle.call(kTstdatum, args);
}

void EkgrpClass::speich(const QStringList& fields) {
    QStringList args = fields;
    m_handle.call(kSpeich, args);
}

QString EkgrpClass::verbuch(const QString& download, const QString& personnelCode,
                            const QString& release) {
    QStringList args{download, personnelCode, release};
    return m_handle.call(kVerbuch, args);
}

ResultSet EkgrpClass::liste() {
    return m_server.resultSet(kClass, kListe);
}

QString MenueClass::getStandorte(const QString& firma) {
    return m_handle.call(kGetStandorte, QStringList{firma});
}

QString MenueClass::getDeviceStandort(const QString& workstation) {
    return m_handle.call(kGetDeviceStandort, QStringList{workstation});
}
