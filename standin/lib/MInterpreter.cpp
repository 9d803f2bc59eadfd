#include "MInterpreter.h"

#include "MInterp.h"

void MEnvironment::appendLocal(const QString& name, const QStringList& subscripts,
                               const QString& tail) {
    setLocal(name, subscripts, getLocal(name, subscripts).value_or(QString()) + tail);
}

MError::MError(QString code, QString detail)
    : m_code(std::move(code)), m_detail(std::move(detail)), m_what(description().toUtf8()) {}

const char* MError::what() const noexcept {
    return m_what.constData();
}

QString MError::description() const {
    return m_detail.isEmpty() ? m_code : m_code + u' ' + m_detail;
}

QString ExecuteM(const QString& line, MEnvironment& env, const MLimits& limits) {
    return MLang::Interp(line, env, limits).run();
}
