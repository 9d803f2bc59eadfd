#include "FMUebersicht.h"

#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMUebersicht");
// A change is counted a moment later, so that a load's many steps make a
// few counts, not one per step.
constexpr int kUpdateDelayMs = 120;

QString countNoun(int n) {
    return n == 1 ? QStringLiteral("Position") : QStringLiteral("Positionen");
}

} // namespace

// --- the chart ---------------------------------------------------------------

OverviewChartView::OverviewChartView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chUebersicht"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void OverviewChartView::setChart(const std::array<int, kDeviationSteps>& steps,
                                 const QString& title) {
    m_steps = steps;
    m_title = title;
    update();
}

void OverviewChartView::setSelected(int step) {
    m_selected = step;
    update();
}

QRectF OverviewChartView::chartArea() const {
    return QRectF(rect()).adjusted(8, 4, -10, -6);
}

int OverviewChartView::stepAt(const QPoint& point) const {
    return chart().stepAt(chartArea(), font(), this, point);
}

QPoint OverviewChartView::stepPoint(int step) const {
    const QRectF bar = chart().barRect(chartArea(), font(), this, step);
    // A step without a bar: the middle of its column.
    return (bar.isEmpty() ? chart().columnRect(chartArea(), font(), this, step) : bar)
        .center()
        .toPoint();
}

QSize OverviewChartView::minimumSizeHint() const {
    // Room for eleven steps with their labels on two lines.
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QStringLiteral("-20 bis")) * 11 + 80, fm.height() * 14};
}

QSize OverviewChartView::sizeHint() const {
    return {760, 340};
}

void OverviewChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    chart().paint(p, chartArea(), font(), m_selected);
}

void OverviewChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int step = stepAt(event->position().toPoint());
    if (step >= 0)
        emit stepClicked(step);
}

void OverviewChartView::mouseMoveEvent(QMouseEvent* event) {
    const int step = stepAt(event->position().toPoint());
    if (step >= 0 && m_steps[size_t(step)] > 0)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

bool OverviewChartView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int step = stepAt(help->pos());
        if (step < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const int n = m_steps[size_t(step)];
        QString text = QStringLiteral("% Abw. ") + DeviationStepLabel(step) + QStringLiteral(": ") +
                       GermanCount(n) + u' ' + countNoun(n);
        if (n > 0)
            text += step == m_selected
                        ? QStringLiteral("\nKlick: wieder alle Stufen im Raster zeigen")
                        : QStringLiteral("\nKlick: nur diese Positionen im Raster zeigen");
        QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

// --- the window --------------------------------------------------------------

FMUebersicht::FMUebersicht(PositionView& view, QWidget* parent) : QDialog(parent), m_view(view) {
    setObjectName(QStringLiteral("FMUebersicht"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Übersicht"));
    setModal(false);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    lbTitel = new QLabel(this);
    lbTitel->setObjectName(QStringLiteral("lbTitel"));
    lbTitel->setWordWrap(true);
    QFont bold = lbTitel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    lbTitel->setFont(bold);

    auto* countsPane = new QGroupBox(QStringLiteral("Anzahl"), this);
    countsPane->setObjectName(QStringLiteral("frZahlen"));
    buildCounts(countsPane);
    m_chart = new OverviewChartView(this);
    connect(m_chart, &OverviewChartView::stepClicked, this, &FMUebersicht::Balken_Click);

    m_rises = new OverviewTopModel(this);
    m_falls = new OverviewTopModel(this);
    auto* lists = new QWidget(this);
    auto* listsLayout = new QHBoxLayout(lists);
    listsLayout->setContentsMargins(0, 0, 0, 0);
    liSteigend = buildTopList(QStringLiteral("Die 20 größten Steigerungen"), lists, m_rises);
    liSteigend->setObjectName(QStringLiteral("liSteigend"));
    liFallend = buildTopList(QStringLiteral("Die 20 größten Senkungen"), lists, m_falls);
    liFallend->setObjectName(QStringLiteral("liFallend"));

    auto* hint = new QLabel(QStringLiteral("Ein Klick auf einen Balken oder eine Zahl filtert das "
                                           "Raster, ein Doppelklick in einer Liste zeigt die "
                                           "Position im Raster."),
                            this);
    hint->setWordWrap(true);
    QPalette muted = hint->palette();
    muted.setColor(QPalette::WindowText, QColor(0x60, 0x60, 0x60));
    hint->setPalette(muted);
    auto* close = new QPushButton(QStringLiteral("Schließen"), this);
    close->setObjectName(QStringLiteral("BUSchliessen"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(countsPane, 0);
    top->addWidget(m_chart, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(hint, 1);
    bottom->addWidget(close, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbTitel);
    layout->addLayout(top, 3);
    layout->addWidget(lists, 2);
    layout->addLayout(bottom);

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kUpdateDelayMs);
    connect(m_timer, &QTimer::timeout, this, &FMUebersicht::Aktualisieren);
    // A filter, a sort, a load (its rows as they come, its end) and every
    // change of a row (an edit, an assignment, a posting's status, a flag).
    connect(&m_view, &PositionView::shownChanged, this, &FMUebersicht::scheduleUpdate);
    if (PositionGridModel* grid = m_view.grid()) {
        connect(grid, &QAbstractItemModel::dataChanged, this, &FMUebersicht::scheduleUpdate);
        connect(grid, &QAbstractItemModel::modelReset, this, &FMUebersicht::scheduleUpdate);
    }

    resize(1040, 760);
    setMinimumSize(minimumSizeHint().expandedTo(QSize(900, 600)));
    RestoreWindowPlacement(this, kPlacementKey);
    Aktualisieren();
}

FMUebersicht::~FMUebersicht() = default;

void FMUebersicht::buildCounts(QWidget* pane) {
    auto* grid = new QGridLayout(pane);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    const QFontMetrics fm(font());
    for (int c = 0; c < PositionOverview::kCounts; ++c) {
        const auto count = PositionOverview::Count(c);
        QString caption = PositionOverview::label(count);
        // The colours of the chart's bars beside the counts they belong to.
        if (count == PositionOverview::Steigend || count == PositionOverview::Fallend ||
            count == PositionOverview::Unveraendert) {
            const int step = count == PositionOverview::Steigend  ? 8
                             : count == PositionOverview::Fallend ? 2
                                                                  : kZeroStep;
            caption = QStringLiteral("<span style=\"color:%1\">■</span> %2")
                          .arg(OverviewChart::colourOf(step).name(), caption.toHtmlEscaped());
        }
        auto* label = new QLabel(caption, pane);
        label->setTextFormat(Qt::RichText);
        m_countLabels[size_t(c)] = label;
        grid->addWidget(label, c, 0);
        const auto quick = PositionOverview::filterOf(count);
        if (!quick) {
            // "Positionen": the rows the overview is over.
            lbPositionen = new QLabel(pane);
            lbPositionen->setObjectName(QStringLiteral("lbPositionen"));
            QFont f = lbPositionen->font();
            f.setBold(true);
            lbPositionen->setFont(f);
            lbPositionen->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            lbPositionen->setContentsMargins(0, 0, 8, 0);
            grid->addWidget(lbPositionen, c, 1);
            continue;
        }
        auto* button = new QToolButton(pane);
        button->setObjectName(QStringLiteral("zahl_") + QuickFilterName(*quick));
        button->setCheckable(true);
        button->setMinimumWidth(fm.horizontalAdvance(QStringLiteral("000.000")) + 24);
        button->setToolTip(QStringLiteral("Klick: im Raster den Filter „") +
                           QuickFilterCaption(*quick) + QStringLiteral("“ setzen oder aufheben"));
        // The button shows the grid's state; a click asks the grid.
        connect(button, &QToolButton::clicked, this, [this, count, button] {
            button->setChecked(m_view.filter().has(*PositionOverview::filterOf(count)));
            Zahl_Click(count);
        });
        m_countButtons[size_t(c)] = button;
        grid->addWidget(button, c, 1);
    }
    grid->setRowStretch(PositionOverview::kCounts, 1);
}

QTreeView* FMUebersicht::buildTopList(const QString& title, QWidget* pane,
                                      OverviewTopModel* model) {
    auto* box = new QGroupBox(title, pane);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* list = new QTreeView(box);
    list->setModel(model);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetListRowHeight(list);
    const QFontMetrics fm(list->font());
    list->header()->setStretchLastSection(false);
    // The description takes what the order number and the numbers leave.
    list->header()->resizeSection(OverviewTopModel::BestNr,
                                  fm.horizontalAdvance(QStringLiteral("G00-00000")) + 12);
    list->header()->setSectionResizeMode(OverviewTopModel::Bezeichnung, QHeaderView::Stretch);
    for (int c : {OverviewTopModel::PreisAlt, OverviewTopModel::PreisNeu})
        list->header()->resizeSection(c, fm.horizontalAdvance(QStringLiteral("Preis neu")) + 16);
    list->header()->resizeSection(OverviewTopModel::Abweichung,
                                  fm.horizontalAdvance(QStringLiteral("-100,00 %")) + 14);
    connect(list, &QTreeView::doubleClicked, this, [this, model](const QModelIndex& index) {
        const int row = model->gridRow(index.row());
        if (row >= 0)
            emit rowWanted(row);
    });
    layout->addWidget(list);
    pane->layout()->addWidget(box);
    return list;
}

QToolButton* FMUebersicht::CountButton(PositionOverview::Count count) const {
    return count >= 0 && count < PositionOverview::kCounts ? m_countButtons[size_t(count)]
                                                           : nullptr;
}

QLabel* FMUebersicht::CountLabel(PositionOverview::Count count) const {
    return count >= 0 && count < PositionOverview::kCounts ? m_countLabels[size_t(count)] : nullptr;
}

QString FMUebersicht::Heading() const {
    return lbTitel->text();
}

bool FMUebersicht::UpdatePending() const {
    return m_timer->isActive();
}

void FMUebersicht::scheduleUpdate() {
    if (!m_timer->isActive())
        m_timer->start();
}

QString FMUebersicht::filterText(const PositionFilter& filter) const {
    QStringList parts;
    for (QuickFilter q : AllQuickFilters())
        if (filter.has(q))
            parts << QuickFilterCaption(q);
    if (!filter.text.isEmpty()) {
        QString text = QStringLiteral("Text „") + filter.text + QStringLiteral("“");
        if (filter.column >= 0)
            text += QStringLiteral(" in ") + PositionGrid::Caption(filter.column);
        parts << text;
    }
    return parts.join(QStringLiteral(", "));
}

void FMUebersicht::Aktualisieren() {
    m_timer->stop();
    // Over the rows the grid shows, but for the step chosen in the chart:
    // the chart keeps every step, the chosen one framed.
    PositionFilter basis = m_view.filter();
    const int step = basis.step;
    basis.step = -1;
    const PositionGridModel* grid = m_view.grid();
    const QList<int> rows = step >= 0 ? m_view.rowsPassing(basis) : m_view.sourceRows();
    m_overview = grid ? PositionOverview::of(*grid, rows) : PositionOverview();

    const int n = m_overview.count(PositionOverview::Positionen);
    QString heading = QStringLiteral("Übersicht über ") + GermanCount(n) + u' ' + countNoun(n);
    heading += basis.isEmpty() ? QStringLiteral(": alle des Downloads")
                               : QStringLiteral(" im Filter des Rasters: ") + filterText(basis);
    if (step >= 0)
        heading += QStringLiteral("; im Raster nur % Abw. „") + DeviationStepLabel(step) +
                   QStringLiteral("“");
    lbTitel->setText(heading);

    for (int c = 0; c < PositionOverview::kCounts; ++c) {
        const auto count = PositionOverview::Count(c);
        const QString number = GermanCount(m_overview.counts[size_t(c)]);
        if (QToolButton* button = m_countButtons[size_t(c)]) {
            const bool on = m_view.filter().has(*PositionOverview::filterOf(count));
            button->setText(number);
            button->setChecked(on);
            // Nothing to show: no click, unless it takes a filter away.
            button->setEnabled(on || m_overview.counts[size_t(c)] > 0);
        } else {
            lbPositionen->setText(number);
        }
    }
    m_chart->setChart(m_overview.steps, OverviewChartTitle(m_overview));
    m_chart->setSelected(step);
    m_rises->setRows(grid, m_overview.rises);
    m_falls->setRows(grid, m_overview.falls);
}

void FMUebersicht::Balken_Click(int step) {
    if (step < 0 || step >= kDeviationSteps)
        return;
    PositionFilter f = m_view.filter();
    if (f.step == step) {
        f.step = -1;
    } else {
        // A step without positions shows nothing.
        if (m_overview.steps[size_t(step)] == 0)
            return;
        f.step = step;
    }
    emit filterWanted(f);
}

void FMUebersicht::Zahl_Click(PositionOverview::Count count) {
    const auto quick = PositionOverview::filterOf(count);
    if (!quick)
        return;
    // The grid then shows exactly the rows counted: the filter's rows of
    // that meaning, of every step.
    PositionFilter f = m_view.filter();
    f.step = -1;
    f.set(*quick, !f.has(*quick));
    emit filterWanted(f);
}

void FMUebersicht::done(int result) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}
