#include "PositionReader.h"

#include "import/Bmecat.h"
#include "import/FileEndReader.h"
#include "import/FileImport.h"

namespace {

// The extended import file: a header line, then one article a line.
class QuendraReader : public PositionReader {
public:
    explicit QuendraReader(QString path) : m_path(std::move(path)) {}

    QStringList paths() const override { return {m_path}; }

    std::optional<Stop> prepare() override {
        if (m_reader.open(m_path))
            return std::nullopt;
        return Stop{RecordIssue{QString(), 0, QString(), kFileUnreadableMessage}, true, false};
    }

    std::optional<Stop> walk(bool, const Watch& watch, const Yield& yield) override {
        // The file stays open between the passes and is read again.
        if (m_walks++ > 0 && !m_reader.rewind())
            return Stop{RecordIssue{QString(), 0, QString(), kFileChangedMessage}};
        QString line;
        m_reader.readLine(&line); // the header
        FileEndReader lines(m_reader);
        m_counter = 0;
        QString current;
        while (lines.readLine(&line)) {
            ++m_counter;
            current = line;
            if (auto stop = watch(QString(), m_counter, line))
                return Stop{*stop};
            SourceLine s;
            s.line = ImportArticleLine(line);
            s.record = line;
            // The header is line 1 of the file.
            s.fileLine = m_counter + 1;
            if (auto stop = yield(s))
                return Stop{*stop};
        }
        // A file that cannot be read to its end is not imported in part.
        if (m_reader.failed())
            return Stop{RecordIssue{QString(), 0, current, kFileUnreadableMessage}, true, true};
        return std::nullopt;
    }

    qint64 progress() const override { return m_counter; }
    qint64 maximum() const override { return qMax<qint64>(1, m_reader.lineFeedCount()); }

private:
    QString m_path;
    ImportFileReader m_reader;
    int m_walks = 0;
    qint64 m_counter = 0;
};

// The files of a DATANORM delivery, with what the check learns of them.
class DatanormReader : public PositionReader {
public:
    explicit DatanormReader(const Delivery& delivery)
        : m_delivery(delivery), m_source(m_delivery) {}

    QStringList paths() const override {
        QStringList p;
        for (const DeliveryFile& f : m_delivery.files)
            p << f.path;
        return p;
    }

    std::optional<Stop> prepare() override { return stopOf(m_source.readSideFiles(m_knowledge)); }

    std::optional<Stop> walk(bool check, const Watch& watch, const Yield& yield) override {
        // The check's first walk learns the P records of the article files.
        const bool collect = check && m_walks++ == 0;
        m_yielded = 0;
        return stopOf(m_source.walkArticles(m_knowledge, collect, watch, [&](const SourceLine& s) {
            ++m_yielded;
            return yield(s);
        }));
    }

    bool walkAgain() const override { return m_source.sawLatePrice(); }
    QStringList lacking() const override {
        return DatanormSource::ArticlesWithoutMaster(m_knowledge);
    }
    void takeEarlier(const QString& number, const EarlierArticle& article) override {
        m_knowledge.earlier.insert(number, article);
    }
    std::optional<Stop> walkEarlier(const Yield& yield) override {
        return stopOf(m_source.yieldEarlier(m_knowledge, yield));
    }
    bool tracksByDate() const override { return true; }
    bool linksManufacturer() const override { return false; }
    qint64 progress() const override { return m_yielded; }
    qint64 maximum() const override { return qMax<qint64>(1, m_delivery.articles); }

    void report(ImportResult& result) const override {
        result.deleted = m_knowledge.deleted;
        result.recommended = m_knowledge.recommended;
        result.rates = m_knowledge.rates;
        result.withoutArticle = 0;
        for (const QString& number : lacking())
            if (!m_knowledge.earlier.contains(number))
                ++result.withoutArticle;
    }

private:
    static std::optional<Stop> stopOf(const std::optional<RecordIssue>& issue) {
        if (!issue)
            return std::nullopt;
        return Stop{*issue};
    }

    const Delivery m_delivery;
    DatanormSource m_source;
    DatanormKnowledge m_knowledge;
    int m_walks = 0;
    qint64 m_yielded = 0;
};

} // namespace

std::unique_ptr<PositionReader> MakePositionReader(const Delivery& delivery) {
    if (delivery.isDatanorm())
        return std::make_unique<DatanormReader>(delivery);
    const DeliveryFile file = delivery.files.value(0);
    if (delivery.format == Delivery::Format::Bmecat)
        return MakeBmecatReader(file.path, file.name, delivery.articles);
    if (delivery.isPriceList())
        return MakePriceListReader(file.path, file.name, delivery.format == Delivery::Format::Xlsx,
                                   delivery.columns);
    return std::make_unique<QuendraReader>(delivery.files.value(0).path);
}

std::unique_ptr<PositionReader> MakeFileReader(const QString& path) {
    return std::make_unique<QuendraReader>(path);
}
