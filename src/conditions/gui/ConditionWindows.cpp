#include "ConditionWindows.h"

#include "FMRabgr.h"
#include "conditions/DiscountGroups.h"
#include "fmverbuch.h"

void ConditionWindows::showDiscountGroups(const PositionDownload& download, QWidget* parent) {
    FMRabgr groups(download, parent);
    groups.exec();
}

QDialog* ConditionWindows::makePostingWindow(PositionGridModel& grid,
                                             const PositionDownload& download,
                                             std::function<void()> reload, QWidget* parent) {
    auto* posting = new fmverbuch(grid, download, parent);
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

int ConditionWindows::takeDeliveryRates(const PositionDownload& download,
                                        const QMap<QString, QStringList>& rates) {
    return TakeDeliveryRates(download, rates);
}
