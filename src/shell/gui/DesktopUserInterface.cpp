#include "DesktopUserInterface.h"

#include "session/gui/FMPass.h"
#include "session/gui/FMServer.h"

DesktopUserInterface::DesktopUserInterface() {
    m_previousWindows = SetConnectionWindows(this);
}

DesktopUserInterface::~DesktopUserInterface() {
    SetConnectionWindows(m_previousWindows);
}

void DesktopUserInterface::showServerList() {
    NormalPointer pointer;
    FMServer list(ownerWindow());
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
    return FMPass::instance()->showLoginWindow();
}

void DesktopUserInterface::selectLoginPassword() {
    if (FMPass* pass = FMPass::instance(false))
        pass->SelectPassword();
}

void DesktopUserInterface::hideLoginWindow() {
    if (FMPass* pass = FMPass::instance(false))
        pass->hide();
}
