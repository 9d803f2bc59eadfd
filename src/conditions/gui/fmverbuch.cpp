#include "fmverbuch.h"

#include "base/SessionContext.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

fmverbuch::fmverbuch(Connection& connection, PositionGridModel& grid,
                     const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_grid(grid), m_download(download) {
    setObjectName(QStringLiteral("fmverbuch"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Verbuchen"));
    setModal(true);

    chmark = new QCheckBox(QStringLiteral("Nur makierte"), this);
    chmark->setObjectName(QStringLiteral("chmark"));
    chmark->setChecked(true);
    connect(chmark, &QCheckBox::toggled, this, &fmverbuch::UpdatePreview);

    fr_selekt = new QGroupBox(QStringLiteral("Selektion Updates"), this);
    fr_selekt->setObjectName(QStringLiteral("fr_selekt"));
    auto* selekt = new QVBoxLayout(fr_selekt);
    for (int i = 0; i < kPostingOptions; ++i) {
        auto* box =
            new QCheckBox(PostingOptions::captions()[i],
                          i < int(PostingOption::Stamm) ? static_cast<QWidget*>(this) : fr_selekt);
        box->setObjectName(PostingOptions::names()[i]);
        m_options << box;
        if (i >= int(PostingOption::Stamm))
            selekt->addWidget(box);
    }

    fr_vorschau = new QGroupBox(QStringLiteral("Vorschau"), this);
    fr_vorschau->setObjectName(QStringLiteral("fr_vorschau"));
    lbvorschau = new QLabel(fr_vorschau);
    lbvorschau->setObjectName(QStringLiteral("lbvorschau"));
    // Each count is a link to its rows in the grid.
    lbvorschau->setTextFormat(Qt::RichText);
    lbvorschau->setTextInteractionFlags(Qt::TextBrowserInteraction);
    lbvorschau->setOpenExternalLinks(false);
    connect(lbvorschau, &QLabel::linkActivated, this, &fmverbuch::PreviewLink);
    lbvorschau->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbvorschau->setWordWrap(true);
    auto* vorschau = new QVBoxLayout(fr_vorschau);
    vorschau->addWidget(lbvorschau);

    ctMeter1 = new QProgressBar(this);
    ctMeter1->setObjectName(QStringLiteral("ctMeter1"));
    ctMeter1->setTextVisible(false);
    ctMeter1->setRange(0, 1);
    ctMeter1->setValue(0);

    BUVerbuch = new QPushButton(QStringLiteral("Verbuchen"), this);
    BUVerbuch->setObjectName(QStringLiteral("BUVerbuch"));
    connect(BUVerbuch, &QPushButton::clicked, this, &fmverbuch::BUVerbuch_Click);

    auto* left = new QVBoxLayout;
    left->addWidget(chmark);
    left->addWidget(m_options[int(PostingOption::Vorhupd)]);
    left->addWidget(m_options[int(PostingOption::Neu)]);
    left->addWidget(fr_selekt);
    left->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(fr_vorschau, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ctMeter1, 1);
    bottom->addWidget(BUVerbuch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(760, 400);
}

fmverbuch::~fmverbuch() = default;

QCheckBox* fmverbuch::Box(const QString& name) const {
    if (name == chmark->objectName())
        return chmark;
    for (QCheckBox* b : m_options)
        if (b->objectName() == name)
            return b;
    return nullptr;
}

PostingOptions fmverbuch::Options() const {
    PostingOptions o;
    for (int i = 0; i < kPostingOptions; ++i)
        o.on[size_t(i)] = m_options[i]->isChecked();
    return o;
}

QString fmverbuch::PreviewText() const {
    return m_previewText;
}

void fmverbuch::UpdatePreview() {
    const bool onlyMarked = chmark->isChecked();
    PostingPreview preview = PostingPreview::of(m_grid, onlyMarked);
    if (m_deletedReported < 0)
        m_deletedReported =
            m_download.key.isEmpty() ? 0 : DeletedReported(m_connection, m_download.key);
    preview.deletedReported = m_deletedReported;
    m_previewText = preview.lines().join(u'\n');
    lbvorschau->setText(preview.linkedLines(onlyMarked).join(QStringLiteral("<br>")));
}

void fmverbuch::PreviewLink(const QString& link) {
    if (m_running || !link.startsWith(QStringLiteral("filter:")))
        return;
    const auto filter = PositionFilter::fromNames(link.mid(7));
    if (!filter)
        return;
    m_linked = filter;
    // As after a posting: hidden, so the options stay for the next one.
    hide();
}

std::optional<PositionFilter> fmverbuch::takeLinkedFilter() {
    return std::exchange(m_linked, std::nullopt);
}

void fmverbuch::showEvent(QShowEvent* event) {
    m_posted = false;
    m_ran = false;
    m_linked.reset();
    UpdatePreview();
    QDialog::showEvent(event);
}

void fmverbuch::reject() {
    if (m_running)
        return; // a posting runs: the window stays until it ends
    m_discarded = true;
    QDialog::reject();
}

void fmverbuch::BUVerbuch_Click() {
    if (m_running)
        return;
    m_running = true;
    m_ran = true;
    BUVerbuch->setEnabled(false);
    // The options are read once: while the run lasts they cannot change;
    // "Nur makierte" is read for every row and stays open.
    for (QCheckBox* b : std::as_const(m_options))
        b->setEnabled(false);
    // The options are read once; "Nur makierte" for every row.
    const PostingOptions options = Options();
    PostingRun run(m_connection);
    run.depth = m_depth;
    run.onlyMarked = [this] { return chmark->isChecked(); };
    run.progress = [this](int value, int maximum) {
        ctMeter1->setRange(0, qMax(1, maximum));
        ctMeter1->setValue(value);
    };
    const bool ok = run.run(m_grid, PostingContext::of(m_download), options);
    BUVerbuch->setEnabled(true);
    for (QCheckBox* b : std::as_const(m_options))
        b->setEnabled(true);
    m_running = false;
    if (!ok) {
        // The run stopped at a refused position (the error report said
        // why); the window stays open for another try, over the grid as
        // the ERP has it now.
        if (m_reload)
            m_reload();
        UpdatePreview();
        return;
    }
    m_posted = true;
    hide();
}
