#include "PosClass.h"

#include "common/TextHelpers.h"

namespace {

const QString kEkFlag = erp::Pos::kGetekdat1;
const QString kVkFlag = erp::Pos::kGetvkdat1;

} // namespace

PosClass::PosClass(ServerClient& server) : m_handle(server.classHandle(kName)) {}

QString PosClass::getcombo(const QString& firma, const QString& supplier) {
    QStringList args{firma, supplier};
    return m_handle.call(kGetcombo, args);
}

QString PosClass::getposvt(const QString& firma, const QString& supplier, const QString& download) {
    QStringList args{firma, supplier, download};
    return m_handle.call(kGetposvt, args);
}

QString PosClass::getekdat(const QString& firma, const QString& supplier, const QString& article,
                           const QString& group) {
    QStringList args{firma, supplier, article, group};
    return m_handle.call(kGetekdat, args);
}

QString PosClass::getvkdat(const QString& firma, const QString& article) {
    QStringList args{firma, article};
    return m_handle.call(kGetvkdat, args);
}

QString PosClass::getwgdaten(const QString& firma, const QString& goodsGroup) {
    QStringList args{firma, goodsGroup};
    return m_handle.call(kGetwgdaten, args);
}

bool PosClass::getekdat1(const QString& firma, const QString& supplier, const QString& article,
                         const QString& group, const QString& date) {
    QStringList args{firma, supplier, article, group, date};
    return IsFlagSet(m_handle.call(kEkFlag, args));
}

bool PosClass::getvkdat1(const QString& firma, const QString& article, const QString& date) {
    QStringList args{firma, article, date};
    return IsFlagSet(m_handle.call(kVkFlag, args));
}

bool PosClass::anrzuord(const QString& firma, const QString& position, const QString& article,
                        const QString& supplier, const QString& previous) {
    QStringList args{firma, position, article, supplier, previous};
    return m_handle.call(kAnrzuord, args).toInt() != 0;
}

QString PosClass::geteanbez(const QString& download, const QString& ean) {
    QStringList args{download, ean};
    return m_handle.call(kGeteanbez, args);
}

void PosClass::SetEan(const QString& firma, const QString& supplier, const QString& article,
                      const QString& ean, const QString& download) {
    QStringList args{firma, supplier, article, ean, download};
    m_handle.call(kSetEan, args);
}

QString PosClass::QuendraGetCountry() {
    return m_handle.call(kQuendraGetCountry);
}

QString PosClass::QuendraGetComp(const QString& code) {
    QStringList args{code};
    return m_handle.call(kQuendraGetComp, args);
}

bool PosClass::IsFlagSet(const QString& answer) {
    return Piece(answer, QStringLiteral("|"), 1) == u"J";
}

QStringList PosClass::savezeileRequest(const QString& download, const QString& lineText) {
    return {kName, kSavezeile, download, QString(), lineText, QStringLiteral("N"), QString()};
}

QStringList PosClass::getlieferartRequest(const QString& firma, const QString& supplier,
                                          const QString& orderNumber) {
    return {kName, kGetlieferart, firma, supplier, orderNumber};
}

QStringList PosClass::openRequest(const QString& id) {
    return {kName, id};
}

QStringList PosClass::setRequest(const QString& ref, const QString& property,
                                 const QString& value) {
    return {ref, property, value};
}

QStringList PosClass::getRequest(const QString& ref, const QString& property) {
    return {ref, property};
}

QStringList PosClass::saveRequest(const QString& ref) {
    return {ref, kSysSave};
}

QStringList PosClass::closeRequest(const QString& ref) {
    return {ref, kSysClose};
}

QStringList PosClass::setliefidRequest(const QString& firma, const QString& manufacturer,
                                       const QString& supplier) {
    return {kName, kSetliefid, firma, manufacturer, supplier};
}

QStringList PosClass::getekdat1Request(const QString& firma, const QString& supplier,
                                       const QString& article, const QString& group,
                                       const QString& date) {
    return {kName, kEkFlag, firma, supplier, article, group, date};
}

QStringList PosClass::getvkdat1Request(const QString& firma, const QString& article,
                                       const QString& date) {
    return {kName, kVkFlag, firma, article, date};
}

QStringList PosClass::verbuchRequest(const QStringList& arguments) {
    return QStringList{kName, kVerbuch} + arguments;
}

ServerObject PosClass::open(ServerClient& server, const QString& id) {
    return server.openObject(kName, id);
}

ResultSet PosClass::pos(ServerClient& server) {
    return server.resultSet(kName, kPos);
}
