#include "PositionFindBar.h"

#include "positions/PositionView.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTableView>
#include <QToolButton>

PositionFindBar::PositionFindBar(const PositionView& view, QTableView* grid, QWidget* parent)
    : QWidget(parent), m_view(view), lipos(grid) {
    setObjectName(QStringLiteral("findbar"));
    auto* bar = new QHBoxLayout(this);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Suchen:"), this);
    bar->addWidget(label);
    TXTSuchen = new QLineEdit(this);
    TXTSuchen->setObjectName(QStringLiteral("TXTSuchen"));
    TXTSuchen->setMinimumWidth(200);
    label->setBuddy(TXTSuchen);
    bar->addWidget(TXTSuchen);
    connect(TXTSuchen, &QLineEdit::returnPressed, this, [this] { findNext(true); });
    connect(TXTSuchen, &QLineEdit::textEdited, this, [this] { lbSuchen->clear(); });
    auto* next = new QToolButton(this);
    next->setObjectName(QStringLiteral("BUWeiter"));
    next->setText(QStringLiteral("Weiter (F3)"));
    connect(next, &QToolButton::clicked, this, [this] { findNext(true); });
    bar->addWidget(next);
    auto* previous = new QToolButton(this);
    previous->setObjectName(QStringLiteral("BUZurueck"));
    previous->setText(QStringLiteral("Zurück (Umschalt+F3)"));
    connect(previous, &QToolButton::clicked, this, [this] { findNext(false); });
    bar->addWidget(previous);
    lbSuchen = new QLabel(this);
    lbSuchen->setObjectName(QStringLiteral("lbSuchen"));
    bar->addWidget(lbSuchen);
    bar->addStretch(1);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("BUSucheZu"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(QStringLiteral("Suche schließen (Esc)"));
    connect(close, &QToolButton::clicked, this, [this] {
        TXTSuchen->clear();
        hide();
        lipos->setFocus();
    });
    bar->addWidget(close);
    hide();
}

void PositionFindBar::addFindActions(QWidget* window) {
    auto* find = new QAction(QStringLiteral("Suchen …"), window);
    find->setObjectName(QStringLiteral("Suchen"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, &PositionFindBar::showFind);
    window->addAction(find);
    auto* again = new QAction(QStringLiteral("Weitersuchen"), window);
    again->setObjectName(QStringLiteral("Weitersuchen"));
    again->setShortcut(QKeySequence(Qt::Key_F3));
    connect(again, &QAction::triggered, this, [this] { findNext(true); });
    window->addAction(again);
    auto* back = new QAction(QStringLiteral("Rückwärts suchen"), window);
    back->setObjectName(QStringLiteral("RueckwaertsSuchen"));
    back->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(back, &QAction::triggered, this, [this] { findNext(false); });
    window->addAction(back);
}

void PositionFindBar::showFind() {
    show();
    TXTSuchen->setFocus();
    TXTSuchen->selectAll();
}

bool PositionFindBar::findNext(bool forward) {
    if (TXTSuchen->text().isEmpty()) {
        showFind();
        return false;
    }
    const QModelIndex found = m_view.find(TXTSuchen->text(), lipos->currentIndex(), forward);
    if (!found.isValid()) {
        lbSuchen->setText(QStringLiteral("Nicht gefunden"));
        return false;
    }
    lbSuchen->clear();
    lipos->setCurrentIndex(found);
    lipos->scrollTo(found);
    return true;
}

void PositionFindBar::closeFind() {
    TXTSuchen->clear();
    lbSuchen->clear();
    hide();
    lipos->setFocus();
}
