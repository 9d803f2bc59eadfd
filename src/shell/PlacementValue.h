#pragma once

#include <QString>

// The stored form of a window's placement: "left|top|width|height" in twips
// (1/1440 inch), each number in the general number format.
struct PlacementTwips {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

QString FormatPlacement(const PlacementTwips& p);

// Each field read with the plain numeric conversion: the leading number of
// the field, 0 when the field is missing or not numeric.
PlacementTwips ParsePlacement(const QString& value);

// The plain numeric conversion: leading blanks skipped, then an optional sign,
// digits and a decimal point; stops at the first other character.
double PlainNumber(const QString& text);

double PixelsToTwips(int pixels, double dotsPerInch);
int TwipsToPixels(double twips, double dotsPerInch);
