#include "frmProgrammverlauf.h"

#include "base/TraceLog.h"
#include "widgets/WidgetHelpers.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

frmProgrammverlauf* frmProgrammverlauf::instance() {
    static frmProgrammverlauf* window = new frmProgrammverlauf;
    return window;
}

frmProgrammverlauf::frmProgrammverlauf(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmProgrammverlauf"));
    setWindowTitle(QStringLiteral("Programmverlauf"));
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("Verlauf"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    SetListRowHeight(m_list);
    m_list->setAlternatingRowColors(true);
    m_list->setModel(&TraceLogModel::instance());
    m_list->header()->resizeSection(0, 220);
    m_list->header()->resizeSection(1, 320);
    m_list->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_list);
    resize(860, 420);
}

void frmProgrammverlauf::StatusText(const QString& part, const QString& text,
                                    const QString& parameter) {
    ::StatusText(part, text, parameter);
}

void frmProgrammverlauf::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}
