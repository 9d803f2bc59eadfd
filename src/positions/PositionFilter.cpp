#include "PositionFilter.h"

#include "common/PriceCalculation.h"
#include "common/TextHelpers.h"

#include <QLocale>
#include <cmath>

using namespace PositionGrid;

namespace {

struct QuickFilterInfo {
    QuickFilter filter;
    const char16_t* name;
    const char16_t* caption;
};

constexpr QuickFilterInfo kQuickFilters[] = {
    {QuickFilter::OhneArtNr, u"ohne-artnr", u"Ohne Art.-Nr."},
    {QuickFilter::MitArtNr, u"mit-artnr", u"Mit Art.-Nr."},
    {QuickFilter::Markiert, u"markiert", u"Markiert"},
    {QuickFilter::SpanneNegativ, u"spanne-negativ", u"Spanne < 0"},
    {QuickFilter::EkHoeher, u"ek-hoeher", u"EK höher"},
    {QuickFilter::EkNiedriger, u"ek-niedriger", u"EK niedriger"},
    {QuickFilter::NichtVerbucht, u"nicht-verbucht", u"Nicht verbucht"},
    {QuickFilter::EkGleich, u"ek-gleich", u"EK gleich"},
    {QuickFilter::EkOhneVergleich, u"ek-ohne-vergleich", u"EK ohne Vergleich"},
    {QuickFilter::NeueVkPreise, u"neue-vk-preise", u"Neue VK-Preise"},
    {QuickFilter::NettoUeberVk, u"netto-ueber-vk", u"Netto über VK-Excl"},
};

const QuickFilterInfo* infoOf(QuickFilter filter) {
    for (const QuickFilterInfo& i : kQuickFilters)
        if (i.filter == filter)
            return &i;
    return nullptr;
}

// A sales price excl. VAT above 0.
bool hasSalesPrice(const PositionRow& r) {
    return r.hasNumber(VkExcl) && r.number(VkExcl) > 0;
}

constexpr const char16_t* kStepLabels[kDeviationSteps] = {
    u"unter -20 %", u"-20 bis -10 %", u"-10 bis -5 %", u"-5 bis -2 %", u"-2 bis 0 %", u"0 %",
    u"0 bis 2 %",   u"2 bis 5 %",     u"5 bis 10 %",   u"10 bis 20 %", u"über 20 %"};

} // namespace

const QList<QuickFilter>& AllQuickFilters() {
    static const QList<QuickFilter> all = [] {
        QList<QuickFilter> l;
        for (const QuickFilterInfo& i : kQuickFilters)
            l << i.filter;
        return l;
    }();
    return all;
}

QString QuickFilterName(QuickFilter filter) {
    const QuickFilterInfo* i = infoOf(filter);
    return i ? QString::fromUtf16(i->name) : QString();
}

std::optional<QuickFilter> QuickFilterOf(const QString& name) {
    for (const QuickFilterInfo& i : kQuickFilters)
        if (name == QStringView(i.name))
            return i.filter;
    return std::nullopt;
}

QString QuickFilterCaption(QuickFilter filter) {
    const QuickFilterInfo* i = infoOf(filter);
    return i ? QString::fromUtf16(i->caption) : QString();
}

bool ParseDeviation(const QString& shown, double* value) {
    QString t = shown.trimmed();
    if (t.endsWith(u'%'))
        t.chop(1);
    t = t.trimmed();
    if (t.isEmpty())
        return false;
    t.replace(u'.', QString()).replace(u',', u'.');
    if (t.startsWith(u'.'))
        t.prepend(u'0');
    else if (t.startsWith(QStringLiteral("-.")))
        t.insert(1, u'0');
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    ok = ok && std::isfinite(v);
    if (ok && value)
        *value = v;
    return ok;
}

bool PositionMatches(QuickFilter filter, const PositionRow& r) {
    double deviation = 0;
    switch (filter) {
    case QuickFilter::OhneArtNr:
        return r.text(ArtNr).trimmed().isEmpty();
    case QuickFilter::MitArtNr:
        return !r.text(ArtNr).trimmed().isEmpty();
    case QuickFilter::Markiert:
        // A mark counts when its number is above 0, as for a posting.
        return ToNumber(r.text(Mark)) > 0;
    case QuickFilter::SpanneNegativ:
        return r.hasNumber(Spanne) && r.number(Spanne) < 0;
    case QuickFilter::EkHoeher:
        return ParseDeviation(r.text(Abweichung), &deviation) && deviation > 0;
    case QuickFilter::EkNiedriger:
        return ParseDeviation(r.text(Abweichung), &deviation) && deviation < 0;
    case QuickFilter::EkGleich:
        return ParseDeviation(r.text(Abweichung), &deviation) && deviation == 0;
    case QuickFilter::EkOhneVergleich:
        return !ParseDeviation(r.text(Abweichung), &deviation);
    case QuickFilter::NichtVerbucht:
        // "Stat" is empty before a posting; a posted position's answer
        // starts with "Verbucht", a refused or unchanged one does not.
        return !r.text(Stat).startsWith(QStringLiteral("Verbucht"));
    case QuickFilter::NeueVkPreise:
        return hasSalesPrice(r) && !r.vkFlag;
    case QuickFilter::NettoUeberVk: {
        if (!hasSalesPrice(r) || !r.hasNumber(Netto))
            return false;
        auto num = [&](int c) { return r.hasNumber(c) ? r.number(c) : 0.0; };
        const double cost =
            PriceCalculation::UnitCost(r.number(Netto), num(Epm), num(Nebenkost), num(Fakt));
        return cost > r.number(VkExcl) + 0.005;
    }
    }
    return false;
}

std::optional<PositionFilter> PositionFilter::fromNames(const QString& names) {
    PositionFilter f;
    for (const QString& name : names.split(u'+', Qt::SkipEmptyParts)) {
        const auto q = QuickFilterOf(name.trimmed());
        if (!q)
            return std::nullopt;
        f.set(*q, true);
    }
    return f;
}

int DeviationStepOf(double v) {
    if (v == 0)
        return kZeroStep;
    if (v < 0)
        return v < -20 ? 0 : v < -10 ? 1 : v < -5 ? 2 : v < -2 ? 3 : 4;
    return v <= 2 ? 6 : v <= 5 ? 7 : v <= 10 ? 8 : v <= 20 ? 9 : 10;
}

int DeviationStepOf(const PositionRow& row) {
    double v = 0;
    return ParseDeviation(row.text(Abweichung), &v) ? DeviationStepOf(v) : -1;
}

QString DeviationStepLabel(int step) {
    return step >= 0 && step < kDeviationSteps ? QString::fromUtf16(kStepLabels[step]) : QString();
}

bool PositionFilter::passes(const PositionRow& row) const {
    for (QuickFilter q : AllQuickFilters())
        if (has(q) && !PositionMatches(q, row))
            return false;
    return step < 0 || DeviationStepOf(row) == step;
}
