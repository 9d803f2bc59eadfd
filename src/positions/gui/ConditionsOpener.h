#pragma once

#include "base/PositionDownload.h"
#include "positions/PositionFilter.h"

#include <functional>
#include <optional>

class Connection;
class PositionGridModel;
class QDialog;
class QWidget;

// The windows of the conditions (src/conditions/gui) that the positions
// window opens from its toolbar: the discount groups ("Rabattgruppen") and
// the posting window ("Verbuchen"). The conditions come after the positions
// in the feature order, so the positions window never includes their
// windows: it opens them through this interface. ConditionWindows
// implements it; whoever opens a positions window hands one on
// (FMPos::setConditionsOpener: the main window, the tests). Without one
// the two buttons do nothing.
class ConditionsOpener {
public:
    virtual ~ConditionsOpener() = default;

    // The discount groups of the download (FMRabgr), modal over parent.
    virtual void showDiscountGroups(Connection& connection, const PositionDownload& download,
                                    QWidget* parent) = 0;

    // The posting window (fmverbuch) over the grid, a child of parent, which
    // keeps it between postings; reload reloads the grid (after a run that
    // a refused position stopped).
    virtual QDialog* makePostingWindow(Connection& connection, PositionGridModel& grid,
                                       const PositionDownload& download,
                                       std::function<void()> reload, QWidget* parent) = 0;

    // How a posting window shown modal ended.
    struct Posting {
        bool posted = false;                  // positions were posted
        bool discarded = false;               // the buyer closed it: the window goes
        std::optional<PositionFilter> linked; // a count of the preview clicked
    };
    // Shows a window of makePostingWindow modal until it hides.
    virtual Posting showPostingWindow(QDialog* window) = 0;
};
