#pragma once

#include <QString>

// The download a window works on (from the main window's row): the
// positions window, the posting, the discount groups, the EAN match and the
// price list share it.
struct PositionDownload {
    QString key;
    QString supplier;
    QString supplierName;
    QString date = QString(); // of the download, yyyy-mm-dd
    int positions = -1;       // as the download list counts them; -1 unknown
};
