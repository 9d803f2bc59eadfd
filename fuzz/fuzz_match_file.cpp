// The lines of an EAN/price match file: the semicolons cleared and the
// fields taken as the match reads them. The input is the file's bytes; its
// lines are read as UTF-8 and as Windows-1252 text, as the reader decodes.
#include "FuzzChecks.h"
#include "FuzzSupport.h"
#include "common/TextHelpers.h"
#include "import/ImportFormats.h"

namespace {

void checkLine(const QString& line) {
    // At most the first two ";"-fields, joined; nothing else of the line.
    const QString cleared = RemoveMatchFileSemicolons(line);
    FUZZ_CHECK(!cleared.contains(u';'));
    if (!line.contains(u';')) {
        FUZZ_CHECK(cleared == line);
    } else {
        const QStringList parts = line.split(u';');
        FUZZ_CHECK(cleared == parts[0] + parts[1]);
        FUZZ_CHECK(cleared.size() < line.size());
    }
    FUZZ_CHECK(RemoveMatchFileSemicolons(cleared) == cleared);

    // Fields 1, 2 and 7 of the cleared line at "\"; a missing field is
    // empty.
    const MatchFileEntry entry = ParseMatchFileLine(line);
    const QStringList fields = cleared.split(u'\\');
    FUZZ_CHECK(entry.articleNumber == fields.value(0));
    FUZZ_CHECK(entry.description == fields.value(1));
    FUZZ_CHECK(entry.ean == fields.value(6));
    // The reading of the match file clears the line first; that changes
    // nothing.
    FUZZ_CHECK(ParseMatchFileLine(cleared) == entry);
}

void checkLines(const QString& text) {
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        checkLine(line);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = FuzzBytes(data, size);
    checkLines(FromUtf8(bytes));
    checkLines(FromWindows1252(bytes));
    return 0;
}
