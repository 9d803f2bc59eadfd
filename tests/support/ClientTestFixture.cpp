#include "ClientTestFixture.h"

#include "DemoData.h"
#include "StandinEngine.h"
#include "base/SessionContext.h"
#include "base/TraceLog.h"
#include "base/UserInterface.h"
#include "classes/StandinClasses.h"
#include "common/TextHelpers.h"
#include "session/Login.h"

#include <QFile>

ClientTestFixture::ClientTestFixture(Data data, OnExit onExit)
    : m_clientName(qgetenv("CLIENTNAME")), m_temp(qgetenv("TEMP")) {
    m_engine = std::make_unique<StandinEngine>(m_dir.filePath(QStringLiteral("standin.db")));
    RegisterErpClasses(*m_engine);
    if (data == Data::Demo) {
        FillDemoData(*m_engine);
    } else {
        // Only the user that demoSession() logs in as.
        StoredObject user;
        user.cls = m_engine->findClass(QStringLiteral("VT.ParPersEdv"));
        user.values = {{QStringLiteral("FIRMA"), QStringLiteral("1")},
                       {QStringLiteral("CODE"), QStringLiteral("DEM")},
                       {QStringLiteral("Passwort"), QStringLiteral("demo")},
                       {QStringLiteral("AKTIV"), QStringLiteral("J")}};
        m_engine->saveObject(user);
    }
    m_connection = std::make_unique<Connection>([this]() -> std::unique_ptr<ServerClient> {
        std::unique_ptr<InProcessClient> c =
            m_maker ? m_maker(*m_engine) : std::make_unique<InProcessClient>(*m_engine);
        c->setReachable(m_reachable);
        c->setListeningPort(m_listeningPort);
        ++m_connects;
        m_client = c.get();
        return c;
    });
    SetPauseFunction([this](int hundredths) {
        pauses << hundredths;
        return hundredths / 100;
    });
    if (onExit == OnExit::Throw)
        SetExitFunction([](int code) { throw ProgramEnded(code); });
    else
        SetExitFunction([this](int code) { exits << code; });
    Session() = SessionContext();
    LoginFormData() = LoginForm();
    TraceLogModel::instance().clear();
    qputenv("CLIENTNAME", "demo-pc");
    qputenv("TEMP", QFile::encodeName(m_dir.path()));
}

ClientTestFixture::~ClientTestFixture() {
    m_connection.reset();
    SetPauseFunction({});
    SetExitFunction({});
    Session() = SessionContext();
    LoginFormData() = LoginForm();
    TraceLogModel::instance().clear();
    m_engine.reset();
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("CLIENTNAME", m_clientName);
    restore("TEMP", m_temp);
}

void ClientTestFixture::sessionAs(const QString& company, const QString& code,
                                  const QString& password) {
    StoredObject user;
    user.cls = m_engine->findClass(QStringLiteral("VT.ParPersEdv"));
    user.values = {{QStringLiteral("FIRMA"), company},
                   {QStringLiteral("CODE"), code},
                   {QStringLiteral("Passwort"), password},
                   {QStringLiteral("AKTIV"), QStringLiteral("J")}};
    m_engine->saveObject(user);
    SessionContext& s = Session();
    s.firma = company;
    s.personal = code;
    s.password = password;
    s.userDisplay = code + u'|';
    m_connection->setCredentials(SessionCredentials());
}

void ClientTestFixture::demoSession() {
    SessionContext& s = Session();
    s.firma = QStringLiteral("1");
    s.fil = QStringLiteral("0");
    s.personal = QStringLiteral("DEM");
    s.password = QStringLiteral("demo");
    s.standort = QStringLiteral("HQ");
    s.server = QStringLiteral("127.0.0.1");
    s.userDisplay = QStringLiteral("DEM|Dörte Demo");
    m_connection->rebuildConnectString();
    m_connection->setCredentials(SessionCredentials());
}
