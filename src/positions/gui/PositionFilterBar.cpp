#include "PositionFilterBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

namespace {

// The quick filters with a button of their own; the others are in the menu
// "Weitere".
constexpr int kQuickButtons = 7;

} // namespace

PositionFilterBar::PositionFilterBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("filterbar"));
    auto* bar = new QHBoxLayout(this);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Filter:"), this);
    bar->addWidget(label);
    TXTFilter = new QLineEdit(this);
    TXTFilter->setObjectName(QStringLiteral("TXTFilter"));
    TXTFilter->setPlaceholderText(QStringLiteral("Text"));
    TXTFilter->setClearButtonEnabled(true);
    TXTFilter->setMinimumWidth(160);
    bar->addWidget(TXTFilter);
    label->setBuddy(TXTFilter);
    CBFilterSpalte = new QComboBox(this);
    CBFilterSpalte->setObjectName(QStringLiteral("CBFilterSpalte"));
    CBFilterSpalte->addItem(QStringLiteral("in allen Spalten"), -1);
    for (int c = 1; c < PositionGrid::kColumns; ++c)
        CBFilterSpalte->addItem(QStringLiteral("in ") + PositionGrid::Caption(c) +
                                    QStringLiteral(" (Spalte ") + QString::number(c) + u')',
                                c);
    CBFilterSpalte->setMaxVisibleItems(20);
    bar->addWidget(CBFilterSpalte);
    // Typing filters once the buyer pauses, so that every key stays quick.
    m_filterTimer = new QTimer(this);
    m_filterTimer->setSingleShot(true);
    m_filterTimer->setInterval(250);
    connect(m_filterTimer, &QTimer::timeout, this, &PositionFilterBar::applyFilterBar);
    connect(TXTFilter, &QLineEdit::textEdited, m_filterTimer, qOverload<>(&QTimer::start));
    connect(TXTFilter, &QLineEdit::returnPressed, this, &PositionFilterBar::applyFilterBar);
    // The clear button changes the text without an edit.
    connect(TXTFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            applyFilterBar();
    });
    connect(CBFilterSpalte, &QComboBox::currentIndexChanged, this,
            &PositionFilterBar::applyFilterBar);
    bar->addSpacing(8);

    auto* more = new QToolButton(this);
    more->setObjectName(QStringLiteral("BUWeitere"));
    more->setText(QStringLiteral("Weitere"));
    more->setPopupMode(QToolButton::InstantPopup);
    addQuickFilterButtons(bar, more);
    bar->addWidget(more);
    // The step of "% Abw." a bar of the overview chose; unchecked, it goes.
    m_stepButton = new QToolButton(this);
    m_stepButton->setObjectName(QStringLiteral("filter_abweichung"));
    m_stepButton->setCheckable(true);
    m_stepButton->hide();
    connect(m_stepButton, &QToolButton::toggled, this, &PositionFilterBar::applyFilterBar);
    bar->addWidget(m_stepButton);
    auto* off = new QToolButton(this);
    off->setObjectName(QStringLiteral("BUFilterAus"));
    off->setText(QStringLiteral("Filter aufheben"));
    connect(off, &QToolButton::clicked, this, &PositionFilterBar::cleared);
    bar->addWidget(off);
    bar->addStretch(1);
}

// The quick filters: the first kQuickButtons as buttons on the bar, the
// others through the menu of "Weitere".
void PositionFilterBar::addQuickFilterButtons(QHBoxLayout* bar, QToolButton* more) {
    auto* menu = new QMenu(more);
    more->setMenu(menu);
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("filter_") + QuickFilterName(filters[i]));
        button->setText(QuickFilterCaption(filters[i]));
        button->setCheckable(true);
        button->setAutoRaise(false);
        connect(button, &QToolButton::toggled, this, &PositionFilterBar::applyFilterBar);
        m_quickButtons << button;
        if (i < kQuickButtons) {
            bar->addWidget(button);
            continue;
        }
        // The rest are reached through the menu; their buttons stay hidden
        // and keep the state.
        button->hide();
        QAction* a = menu->addAction(QuickFilterCaption(filters[i]));
        a->setCheckable(true);
        connect(a, &QAction::toggled, button, &QToolButton::setChecked);
        connect(button, &QToolButton::toggled, a, [a, more, this](bool on) {
            a->setChecked(on);
            bool any = false;
            for (int k = kQuickButtons; k < m_quickButtons.size(); ++k)
                any = any || m_quickButtons[k]->isChecked();
            QFont f = more->font();
            f.setBold(any);
            more->setFont(f);
        });
    }
}

PositionFilter PositionFilterBar::filter() const {
    PositionFilter f;
    f.text = TXTFilter->text();
    f.column = CBFilterSpalte->currentData().toInt();
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i)
        f.set(filters[i], m_quickButtons[i]->isChecked());
    f.step = m_stepButton->isChecked() ? m_step : -1;
    return f;
}

void PositionFilterBar::applyFilterBar() {
    if (m_settingBar)
        return;
    m_filterTimer->stop();
    emit changed();
}

void PositionFilterBar::stopTyping() {
    m_filterTimer->stop();
}

void PositionFilterBar::showFilter(const PositionFilter& filter) {
    // The bar shows the filter; its signals do not filter again meanwhile.
    m_settingBar = true;
    if (TXTFilter->text() != filter.text)
        TXTFilter->setText(filter.text);
    const int column = CBFilterSpalte->findData(filter.column);
    CBFilterSpalte->setCurrentIndex(column >= 0 ? column : 0);
    const QList<QuickFilter>& filters = AllQuickFilters();
    for (int i = 0; i < filters.size(); ++i)
        m_quickButtons[i]->setChecked(filter.has(filters[i]));
    m_step = filter.step;
    m_stepButton->setText(QStringLiteral("% Abw. ") + DeviationStepLabel(filter.step));
    m_stepButton->setChecked(filter.step >= 0);
    m_stepButton->setVisible(filter.step >= 0);
    m_settingBar = false;
}
