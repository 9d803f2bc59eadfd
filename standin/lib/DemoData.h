#pragma once

#include <QString>

class StandinEngine;

// The demo company's data file as installed with the program:
// share/veltar-standin/demo-company.json beside the program's directory
// (bin/../share/...; the build copies it there, for the programs in bin/ and
// the tests in tests/ alike).
QString DefaultDemoDataFile();

// Fills a new database with the demo companies of a demo data file (the
// format: standin/README.md, "The demo data file"); a company of the file
// that the database already holds is left as it is. Throws std::runtime_error
// whose text names the file and the fault when the file cannot be read or
// is no valid demo data file; nothing of it is stored then.
void FillDemoData(StandinEngine& engine, const QString& file = DefaultDemoDataFile());

// Points the demo company's own server entry ("Demo-Firma (lokal)") at the
// address and port the server listens on, so that the program's server
// list leads back to it.
void PointDemoServerEntry(StandinEngine& engine, const QString& address, quint16 port);

// Adds one big download of supplier 70001 for benchmarks (filling the demo
// company from the file first when the database lacks it) and returns its
// key. Every third position is assigned to an ERP article of its own; half
// of those articles hold a purchase condition valid from the positions'
// date 01.04.2027, a quarter a sales price of that date.
QString FillDemoPositions(StandinEngine& engine, int count,
                          const QString& file = DefaultDemoDataFile());

// One article line of an extended import file (29 fields, backslash
// separated): manufacturer code, EAN, order number, description, the unit in
// all three unit fields, quantities 1, price and date, second price and
// date, discount group, class "Baustoffe".
QString DemoArticleLine(const QString& herst, const QString& ean, const QString& bestnr,
                        const QString& text, const QString& unit, const QString& price,
                        const QString& date, const QString& price2 = QStringLiteral("0"),
                        const QString& date2 = QString(),
                        const QString& group = QStringLiteral("RG1"));
