#include "DesktopUserInterface.h"

#include "session/gui/FMPass.h"
#include "session/gui/FMServer.h"

DesktopUserInterface::DesktopUserInterface(Connection& connection) : m_connection(connection) {
    m_previousWindows = SetConnectionWindows(this);
}

DesktopUserInterface::~DesktopUserInterface() {
    SetConnectionWindows(m_previousWindows);
}

void DesktopUserInterface::showServerList() {
    NormalPointer pointer;
    FMServer list(m_connection, ownerWindow());
    list.exec();
}

void DesktopUserInterface::hideServerList() {
    if (FMServer* list = FMServer::current())
        list->hide();
}

void DesktopUserInterface::unloadAllWindows() {
    DialogUserInterface::unloadAllWindows();
}

bool DesktopUserInterface::showLoginWindow() {
    NormalPointer pointer;
    return FMPass::instance(m_connection)->showLoginWindow();
}

void DesktopUserInterface::selectLoginPassword() {
    if (FMPass* pass = FMPass::existing())
        pass->SelectPassword();
}

void DesktopUserInterface::hideLoginWindow() {
    if (FMPass* pass = FMPass::existing())
        pass->hide();
}
