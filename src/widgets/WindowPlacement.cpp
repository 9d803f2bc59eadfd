#include "WindowPlacement.h"

#include "base/WorkstationSettings.h"
#include "shell/PlacementValue.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

const QString kApplication = QStringLiteral("Quendrapr");
const QString kSection = QStringLiteral("Windowpos");

QScreen* screenOf(QWidget* form) {
    QScreen* s = form->screen();
    return s ? s : QGuiApplication::primaryScreen();
}

} // namespace

bool RestoreWindowPlacement(QWidget* form, const QString& key) {
    const QString value = WorkstationSettings::value(kApplication, kSection, key);
    if (value.isEmpty())
        return false;
    const PlacementTwips p = ParsePlacement(value);
    QScreen* screen = screenOf(form);
    const double dpiX = screen ? screen->logicalDotsPerInchX() : 96;
    const double dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    QPoint pos(TwipsToPixels(p.left, dpiX), TwipsToPixels(p.top, dpiY));
    QSize size(TwipsToPixels(p.width, dpiX), TwipsToPixels(p.height, dpiY));
    size = size.expandedTo(form->minimumSize());
    // A placement stored on a screen that is gone would open the window
    // where nobody can see it; such a window comes back onto a screen.
    if (!QGuiApplication::screenAt(pos + QPoint(20, 20)) && screen)
        pos = screen->availableGeometry().topLeft();
    form->move(pos);
    form->resize(size);
    return true;
}

void SaveWindowPlacement(QWidget* form, const QString& key) {
    if (form->isMinimized())
        return;
    QScreen* screen = screenOf(form);
    const double dpiX = screen ? screen->logicalDotsPerInchX() : 96;
    const double dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    QRect r = form->isMaximized() || form->isFullScreen() ? form->normalGeometry() : QRect();
    if (!r.isValid())
        r = QRect(form->pos(), form->size());
    const PlacementTwips p{PixelsToTwips(r.x(), dpiX), PixelsToTwips(r.y(), dpiY),
                           PixelsToTwips(r.width(), dpiX), PixelsToTwips(r.height(), dpiY)};
    WorkstationSettings::setValue(kApplication, kSection, key, FormatPlacement(p));
}
