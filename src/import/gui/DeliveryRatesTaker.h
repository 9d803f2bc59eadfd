#pragma once

#include "base/PositionDownload.h"

#include <QMap>
#include <QString>
#include <QStringList>

class Connection;

// Takes the discount rates a delivery brings (its .RAB file: group ->
// rates) into the download's discount groups after the import window
// stored it. The discount groups belong to the conditions, which come
// after the import in the feature order, so the import window reaches them
// through this interface: ConditionWindows implements it, whoever opens an
// import window hands one on (FMImport::setRatesTaker: the main window,
// the tests). Without one the rates are not taken.
class DeliveryRatesTaker {
public:
    virtual ~DeliveryRatesTaker() = default;
    // The number of groups that took them; -1 when it failed (reported).
    virtual int takeDeliveryRates(Connection& connection, const PositionDownload& download,
                                  const QMap<QString, QStringList>& rates) = 0;
};
