#include "WidgetHelpers.h"

#include <QAbstractItemView>
#include <QStyledItemDelegate>

#include <QComboBox>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTranslator>

void SelectAllText(QWidget* control, bool withoutFocus) {
    if (!control)
        return;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setSelection(0, int(edit->text().size()));
    else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
    else if (auto* text = qobject_cast<QTextEdit*>(control))
        text->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        plain->selectAll();
    if (!withoutFocus)
        control->setFocus(Qt::OtherFocusReason);
}

namespace {

class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(qMax(size.height(), option.fontMetrics.height() + 6));
        return size;
    }
};

} // namespace

void SetListRowHeight(QAbstractItemView* list) {
    list->setItemDelegate(new RowHeightDelegate(list));
}

void CommitOpenEditor(QAbstractItemView* view) {
    // The same cell again: the view stays where it is scrolled to.
    const QModelIndex current = view->currentIndex();
    const bool autoScroll = view->hasAutoScroll();
    view->setAutoScroll(false);
    view->setCurrentIndex(QModelIndex());
    view->setCurrentIndex(current);
    view->setAutoScroll(autoScroll);
}

bool InstallGermanTranslations(QCoreApplication& app) {
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    auto* translator = new QTranslator(&app);
    if (!translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
