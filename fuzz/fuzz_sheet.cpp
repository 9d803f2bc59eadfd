// A price list as the import reads it, without a server: a CSV file, or an
// .xlsx workbook put together from the input's parts, its rows read and
// then walked by the check and by the store with a fixed column mapping.
//
// Checked: nothing crashes; row numbers rise; a number cell is a number and
// a date cell a date; the two walks agree and yield lines the store can
// send (ReaderChecks.h).
//
// Input: "c" and the bytes of a CSV file; or the sheet's XML, a NUL byte,
// the shared strings' XML, a NUL byte and the styles' XML.
#include "FuzzSupport.h"
#include "ReaderChecks.h"
#include "import/PriceList.h"

#include <QFile>
#include <QTemporaryDir>
#include <zip.h>

namespace {

const char kWorkbook[] =
    "<workbook xmlns:r=\"r\"><sheets><sheet name=\"Preise\" r:id=\"rId1\"/></sheets></workbook>";
const char kRelations[] = "<Relationships><Relationship Id=\"rId1\" "
                          "Target=\"worksheets/sheet1.xml\"/></Relationships>";

bool add(zip_t* z, const char* name, const QByteArray& bytes) {
    // libzip copies the bytes when the archive is closed: they live until then.
    static QList<QByteArray> kept;
    kept << bytes;
    zip_source_t* source =
        zip_source_buffer(z, kept.last().constData(), zip_uint64_t(kept.last().size()), 0);
    return source && zip_file_add(z, name, source, ZIP_FL_OVERWRITE) >= 0;
}

void writeWorkbook(const QString& path, const QByteArray& bytes) {
    const QList<QByteArray> parts = bytes.split('\0');
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    FUZZ_CHECK(z != nullptr);
    FUZZ_CHECK(add(z, "xl/workbook.xml", kWorkbook) &&
               add(z, "xl/_rels/workbook.xml.rels", kRelations) &&
               add(z, "xl/worksheets/sheet1.xml", parts.value(0)));
    if (parts.size() > 1)
        FUZZ_CHECK(add(z, "xl/sharedStrings.xml", parts.value(1)));
    if (parts.size() > 2)
        FUZZ_CHECK(add(z, "xl/styles.xml", parts.mid(2).join('\0')));
    FUZZ_CHECK(zip_close(z) == 0);
}

void checkRows(const QString& path, bool workbook) {
    auto rows = PriceListRows(path, workbook);
    if (!rows->open()) {
        FUZZ_CHECK(!rows->error().isEmpty());
        return;
    }
    SheetRow row;
    qint64 number = 0;
    qint64 last = 0;
    for (int n = 0; n < 100000 && rows->next(&row, &number); ++n) {
        FUZZ_CHECK(number > last || (workbook && number >= 0));
        last = number;
        for (const SheetCell& c : row) {
            if (c.kind == SheetCell::Kind::Number) {
                bool ok = false;
                c.text.toDouble(&ok);
                FUZZ_CHECK(ok);
            } else if (c.kind == SheetCell::Kind::Date) {
                FUZZ_CHECK(QDate::fromString(c.text, QStringLiteral("dd.MM.yyyy")).isValid());
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    const QByteArray bytes = FuzzBytes(data, size);
    const bool csv = bytes.startsWith('c');
    const QString path = folder.filePath(csv ? QStringLiteral("l.csv") : QStringLiteral("l.xlsx"));
    if (csv) {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes.mid(1)) == bytes.size() - 1);
    } else {
        writeWorkbook(path, bytes);
    }
    checkRows(path, !csv);
    QString ignored;
    ColumnMapping mapping = *ColumnMapping::FromColumnsText(
        QStringLiteral("bestnr=A,bezeichnung=B,preis=C,einheit=D,pe=E,datum=F,netto=G,ean=H,"
                       "rabattgruppe=I"),
        &ignored);
    mapping.firstRow = 1;
    auto reader = MakePriceListReader(path, QStringLiteral("l"), !csv, mapping);
    CheckReaderWalks(*reader);
    return 0;
}
