#include "PlacementValue.h"

#include "common/TextHelpers.h"

#include <cmath>

QString FormatPlacement(const PlacementTwips& p) {
    auto n = [](double v) { return QString::number(v, 'g', 12); };
    return n(p.left) + u'|' + n(p.top) + u'|' + n(p.width) + u'|' + n(p.height);
}

PlacementTwips ParsePlacement(const QString& value) {
    const QString bar = QStringLiteral("|");
    return PlacementTwips{PlainNumber(Piece(value, bar, 1)), PlainNumber(Piece(value, bar, 2)),
                          PlainNumber(Piece(value, bar, 3)), PlainNumber(Piece(value, bar, 4))};
}

double PlainNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QByteArray number;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        number += char(text[i++].unicode());
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            number += char(c.unicode());
            digits = true;
        } else if (c == u'.' && !point) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

double PixelsToTwips(int pixels, double dotsPerInch) {
    if (dotsPerInch <= 0)
        dotsPerInch = 96;
    return std::round(pixels * 1440.0 / dotsPerInch * 100.0) / 100.0;
}

int TwipsToPixels(double twips, double dotsPerInch) {
    if (dotsPerInch <= 0)
        dotsPerInch = 96;
    return int(std::lround(twips * dotsPerInch / 1440.0));
}
