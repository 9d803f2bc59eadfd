// A BMEcat catalogue as the import reads it, without a server: recognised
// by its root element, counted, then walked by the check and by the store.
//
// Checked: nothing crashes; the two walks see the same products, yield the
// same lines and stop at the same line for the same reason; every line is
// one the store can send (ReaderChecks.h).
//
// Input: the bytes of the catalogue file.
#include "FuzzSupport.h"
#include "ReaderChecks.h"
#include "import/Bmecat.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    const QByteArray bytes = FuzzBytes(data, size);
    const QString path = folder.filePath(QStringLiteral("katalog.xml"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    if (Bmecat::RecognizeCatalogue(bytes.left(64 * 1024)).isEmpty())
        return 0;
    const qint64 products = Bmecat::CountProducts(path);
    FUZZ_CHECK(products >= 0);
    auto reader = MakeBmecatReader(path, QStringLiteral("katalog.xml"), products);
    CheckReaderWalks(*reader);
    return 0;
}
