#pragma once

#include "import/gui/DeliveryRatesTaker.h"
#include "positions/gui/ConditionsOpener.h"

// The conditions as the windows of earlier features reach them: the
// positions window's discount groups (FMRabgr) and posting window
// (fmverbuch), the import window's discount rates of a delivery. It holds
// nothing; the main window hands one to every import and positions window
// it opens.
class ConditionWindows : public ConditionsOpener, public DeliveryRatesTaker {
public:
    void showDiscountGroups(Connection& connection, const PositionDownload& download,
                            QWidget* parent) override;
    QDialog* makePostingWindow(Connection& connection, PositionGridModel& grid,
                               const PositionDownload& download, std::function<void()> reload,
                               QWidget* parent) override;
    Posting showPostingWindow(QDialog* window) override;
    int takeDeliveryRates(Connection& connection, const PositionDownload& download,
                          const QMap<QString, QStringList>& rates) override;
};
