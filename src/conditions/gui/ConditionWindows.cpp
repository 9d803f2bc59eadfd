#include "ConditionWindows.h"

#include "FMRabgr.h"
#include "conditions/DiscountGroups.h"
#include "fmverbuch.h"

void ConditionWindows::showDiscountGroups(Connection& connection, const PositionDownload& download,
                                          QWidget* parent) {
    FMRabgr groups(connection, download, parent);
    groups.exec();
}

QDialog* ConditionWindows::makePostingWindow(Connection& connection, PositionGridModel& grid,
                                             const PositionDownload& download,
                                             std::function<void()> reload, QWidget* parent) {
    auto* posting = new fmverbuch(connection, grid, download, parent);
    posting->setReload(std::move(reload));
    return posting;
}

ConditionsOpener::Posting ConditionWindows::showPostingWindow(QDialog* window) {
    auto* posting = qobject_cast<fmverbuch*>(window);
    Posting outcome;
    if (!posting)
        return outcome;
    posting->exec();
    outcome.posted = posting->posted();
    outcome.linked = posting->takeLinkedFilter();
    outcome.discarded = posting->discarded();
    return outcome;
}

int ConditionWindows::takeDeliveryRates(Connection& connection, const PositionDownload& download,
                                        const QMap<QString, QStringList>& rates) {
    return TakeDeliveryRates(connection, download, rates);
}
