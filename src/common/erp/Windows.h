#pragma once

// The ERP's general entry points: M commands, list expressions, the
// partner search, and the M routines the program runs.

#include "common/erp/ErpName.h"

namespace erp {

// VT.Windows: an object's "Xecute" runs an M command and answers what it
// writes; the query "KkrSuche" finds suppliers and customers.
struct Windows {
    static constexpr Name kClass = u"VT.Windows";

    static constexpr Name kXecute = u"Xecute";
    static constexpr Name kMethods[] = {kXecute};

    // KkrSuche(company, "L" or "K", name part, account group or customer
    // group, post code): name and place in the ERP's 7-bit form.
    static constexpr Name kKkrSucheColumns[] = {u"Nummer", u"Kurzname", u"Name", u"PLZ", u"Ort"};
    static constexpr Query kKkrSuche{u"KkrSuche", kKkrSucheColumns};
    static constexpr Query kQueries[] = {kKkrSuche};
};

// VT.XW: the query "Liste" runs a list expression that another method
// answered and gives one row per entry.
struct Xw {
    static constexpr Name kClass = u"VT.XW";

    static constexpr Name kListeColumns[] = {u"Eintrag"};
    static constexpr Query kListe{u"Liste", kListeColumns};
    static constexpr Query kQueries[] = {kListe};
};

// The M routines: ^%XTT runs after every connection; ^VTCLSU holds the
// article search (GETARF starts one, GETARN gives its next page) and the
// lists of main groups, goods groups and departments.
struct Routines {
    static constexpr Name kXtt = u"%XTT";
    static constexpr Name kVtclsu = u"VTCLSU";
    static constexpr Name kGetarf = u"GETARF";
    static constexpr Name kGetarn = u"GETARN";
    static constexpr Name kHgrp = u"HGRP";
    static constexpr Name kUgrp = u"UGRP";
    static constexpr Name kAbtnr = u"ABTNR";

    static constexpr Routine kSession{u"", kXtt};
    static constexpr Routine kArticleSearch{kGetarf, kVtclsu};
    static constexpr Routine kArticlePage{kGetarn, kVtclsu};
    static constexpr Routine kMainGroups{kHgrp, kVtclsu};
    static constexpr Routine kGoodsGroups{kUgrp, kVtclsu};
    static constexpr Routine kDepartments{kAbtnr, kVtclsu};
    static constexpr Routine kAll[] = {kSession,    kArticleSearch, kArticlePage,
                                       kMainGroups, kGoodsGroups,   kDepartments};
};

} // namespace erp
