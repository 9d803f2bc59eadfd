#include "FMRabgr.h"

#include "widgets/WidgetHelpers.h"
#include "widgets/WindowPlacement.h"

#include <QAction>
#include <QDateEdit>
#include <QEvent>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString kPlacementKey = QStringLiteral("FMRabgr");
const QString kMonthFormat = QStringLiteral("MMMM, yyyy");
const QString kDayFormat = QStringLiteral("dd.MM.yyyy");

} // namespace

FMRabgrdat::FMRabgrdat(DiscountGroupEditor& editor, QWidget* parent)
    : QDialog(parent), m_editor(editor) {
    setObjectName(QStringLiteral("FMRabgrdat"));
    setWindowTitle(
        QStringLiteral("VELTAR Quendra Preisdaten - Rabattgruppen setzen neues Ab-Datum"));
    setModal(true);
    Datum = new QDateEdit(QDate::currentDate(), this);
    Datum->setObjectName(QStringLiteral("Datum"));
    Datum->setCalendarPopup(true);
    // The month's name in German, whatever the workstation's language.
    Datum->setLocale(QLocale(QLocale::German, QLocale::Germany));
    // Month and year while the box is not being edited, the day while it is.
    Datum->setDisplayFormat(kMonthFormat);
    Datum->installEventFilter(this);
    Datum->setMinimumWidth(200);
    Command1 = new QPushButton(QStringLiteral("Setzen"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &FMRabgrdat::Command1_Click);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Ab-Datum:"), Datum);
    form->addRow(QString(), Command1);
    resize(460, 110);
}

bool FMRabgrdat::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Datum) {
        if (event->type() == QEvent::FocusIn)
            Datum->setDisplayFormat(kDayFormat);
        else if (event->type() == QEvent::FocusOut)
            Datum->setDisplayFormat(kMonthFormat);
    }
    return QDialog::eventFilter(watched, event);
}

void FMRabgrdat::Command1_Click() {
    m_editor.setAllDates(Datum->date());
    accept();
}

QStringList FMRabgr::ToolCaptions() {
    return {QStringLiteral("Speichern"), QStringLiteral("Verbuchen"), QStringLiteral("Ausstieg")};
}

FMRabgr::FMRabgr(Connection& connection, const PositionDownload& download, QWidget* parent)
    : QDialog(parent), m_download(download), m_groups(new DiscountGroupModel(this)),
      m_editor(connection, *m_groups, download) {
    setObjectName(QStringLiteral("FMRabgr"));
    setWindowTitle(QStringLiteral("VELTAR Quendra Preisdaten - Rabattgruppen"));
    setModal(true);
    setSizeGripEnabled(true);

    ctToolBar1 = new QToolBar(this);
    ctToolBar1->setObjectName(QStringLiteral("ctToolBar1"));
    ctToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ctToolBar1->setIconSize(QSize(24, 24));
    const QStyle::StandardPixmap icons[] = {
        QStyle::SP_DialogSaveButton, QStyle::SP_DialogApplyButton, QStyle::SP_DialogCloseButton};
    const QStringList captions = ToolCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        QAction* a = ctToolBar1->addAction(style()->standardIcon(icons[i]), captions[i]);
        a->setObjectName(QStringLiteral("ctToolBar1_") + QString::number(i + 1));
    }
    connect(ToolButton(captions[0]), &QAction::triggered, this, &FMRabgr::Speichern_Click);
    connect(ToolButton(captions[1]), &QAction::triggered, this, &FMRabgr::Verbuchen_Click);
    connect(ToolButton(captions[2]), &QAction::triggered, this, &FMRabgr::Ausstieg_Click);

    grekgrp = new QTableView(this);
    grekgrp->setObjectName(QStringLiteral("grekgrp"));
    grekgrp->setModel(m_groups);
    grekgrp->setSelectionMode(QAbstractItemView::SingleSelection);
    grekgrp->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    grekgrp->verticalHeader()->setDefaultSectionSize(grekgrp->fontMetrics().height() + 6);
    grekgrp->horizontalHeader()->setSectionsClickable(true);
    grekgrp->horizontalHeader()->setHighlightSections(false);
    const int widths[] = {70, 90, 260, 90, 90, 60, 60, 60, 60};
    for (int c = 0; c < DiscountGroupModel::ColumnCount; ++c)
        grekgrp->setColumnWidth(c, widths[c]);
    connect(grekgrp->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &FMRabgr::grekgrp_ColumnClick);

    lbstatus =
        new QLabel(QStringLiteral("Klick auf „Datum ab“: neues Ab-Datum für alle Gruppen"), this);
    lbstatus->setObjectName(QStringLiteral("lbstatus"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->addWidget(ctToolBar1);
    layout->addWidget(grekgrp, 1);
    layout->addWidget(lbstatus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &FMRabgr::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setSingleShot(true);
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &FMRabgr::Timer2_Timer);

    resize(900, 460);
    RestoreWindowPlacement(this, kPlacementKey);
    Timer1->start();
}

FMRabgr::~FMRabgr() = default;

QAction* FMRabgr::ToolButton(const QString& caption) const {
    for (QAction* a : ctToolBar1->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

QString FMRabgr::StatusText() const {
    return lbstatus->text();
}

void FMRabgr::Timer1_Timer() {
    Timer1->stop();
    if (m_download.key.isEmpty())
        return;
    setWindowTitle(DiscountGroupTitle(m_download));
    m_editor.load();
    if (m_groups->size() > 0)
        grekgrp->setCurrentIndex(m_groups->index(0, DiscountGroupModel::RabgrVeltar));
}

void FMRabgr::grekgrp_ColumnClick(int column) {
    if (column == DiscountGroupModel::DatumAb)
        Timer2->start();
}

void FMRabgr::Timer2_Timer() {
    Timer2->stop();
    endEdit();
    FMRabgrdat dialog(m_editor, this);
    dialog.exec();
}

bool FMRabgr::endEdit() {
    const int refusals = m_editor.refusals();
    CommitOpenEditor(grekgrp);
    return m_editor.refusals() == refusals;
}

void FMRabgr::Speichern_Click() {
    // A refused edit (its message was shown) is not saved over.
    if (!endEdit())
        return;
    if (m_editor.save())
        lbstatus->setText(QStringLiteral("Gespeichert"));
}

void FMRabgr::Verbuchen_Click() {
    if (!endEdit())
        return;
    if (m_editor.post(AskRelease))
        lbstatus->setText(m_editor.lastAnswer());
}

void FMRabgr::Ausstieg_Click() {
    endEdit();
    // The positions window closes it and reloads its grid.
    accept();
}

void FMRabgr::done(int result) {
    SaveWindowPlacement(this, kPlacementKey);
    QDialog::done(result);
}
