#pragma once

#include <QString>
#include <exception>

// The one error type of every server call: a number and a description.
class ServerError : public std::exception {
public:
    ServerError(int number, QString description)
        : m_number(number), m_description(std::move(description)), m_what(m_description.toUtf8()) {}
    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// Error numbers used by the clients themselves (the server sends its own).
namespace ClientErrors {
constexpr int NotConnected = 460;   // no connection to the server
constexpr int ConnectionLost = 461; // the server went away during a call
constexpr int Timeout = 462;        // no answer within the read time-out
constexpr int ProtocolError = 463;  // a reply that does not fit the request
constexpr int InvalidSession = 464; // session values that cannot go into M as they are
constexpr int Certificate = 465;    // the server's TLS certificate is not the one trusted
} // namespace ClientErrors

// Error numbers of the server that the client tells apart (the stand-in
// answers with these).
namespace ServerErrors {
constexpr int Database = 5006;      // the server's database failed (a full disk, a damaged page)
constexpr int ObjectMissing = 5809; // no object of the class with that id (or not the login's)
} // namespace ServerErrors
