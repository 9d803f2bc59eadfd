#include "PositionCellDelegate.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QComboBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>

using namespace PositionGrid;

namespace {

bool isDateList(int column) {
    return column == EkDatAb || column == VkDatAb;
}

// The typed date of a date list: Enter takes it, as in every other editor
// (the combo box itself leaves Enter to its list); the first digit typed
// replaces the date the editor opened with, unless the buyer moved the
// cursor first.
class DateEditKeys : public QObject {
public:
    DateEditKeys(QAbstractItemDelegate* delegate, QComboBox* editor)
        : QObject(editor), m_delegate(delegate), m_editor(editor) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            m_replace = false;
            return false;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit m_delegate->commitData(m_editor);
            emit m_delegate->closeEditor(m_editor, QAbstractItemDelegate::SubmitModelCache);
            return true;
        }
        if (m_replace && !key->text().isEmpty() && key->text().at(0).isPrint())
            m_editor->lineEdit()->selectAll();
        m_replace = false;
        return false;
    }

private:
    QAbstractItemDelegate* m_delegate;
    QComboBox* m_editor;
    bool m_replace = true;
};

// The grid's own cell of a cell as the view shows it (sorted or filtered).
QModelIndex gridIndex(const QModelIndex& index) {
    if (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(index.model()))
        return proxy->mapToSource(index);
    return index;
}

int gridRow(const QModelIndex& index) {
    return gridIndex(index).row();
}

} // namespace

std::optional<QString> DialogPrompts::askNumber(const QString& prompt, const QString& proposal) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, prompt, prompt, QLineEdit::Normal, proposal, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

PositionCellDelegate::PositionCellDelegate(PositionEditor& editor, const PositionLists& lists,
                                           QObject* parent)
    : QStyledItemDelegate(parent), m_editor(editor), m_lists(lists) {}

QWidget* PositionCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                            const QModelIndex& index) const {
    const int column = index.column();
    const PositionColumn& col = ColumnOf(column);
    // Lists 9 to 11 are the row's own.
    m_editor.beginEdit(gridRow(index), column);
    m_open = QPersistentModelIndex(gridIndex(index));
    if (col.kind == CellKind::List) {
        auto* box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("cellList%1").arg(col.list));
        for (const QString& item : m_lists.items(col.list)) {
            QString shown = item;
            shown.replace(u'\n', QStringLiteral("  |  "));
            box->addItem(shown.isEmpty() ? QStringLiteral(" ") : shown, item.section(u'\n', 0, 0));
        }
        box->setMaxVisibleItems(20);
        // The cell is narrow; the open list shows every column in full.
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
        if (isDateList(column)) {
            // A new date may be typed; the list offers the ERP's dates.
            box->setEditable(true);
            box->setInsertPolicy(QComboBox::NoInsert);
            box->lineEdit()->setInputMask(QStringLiteral("99/99/9999"));
            // A typed date is never completed into one of the list.
            box->setCompleter(nullptr);
            auto* keys = new DateEditKeys(const_cast<PositionCellDelegate*>(this), box);
            box->installEventFilter(keys);
            box->lineEdit()->installEventFilter(keys);
            connect(box, &QComboBox::activated, box, [box](int i) {
                box->lineEdit()->setText(box->itemData(i).toString().replace(u'.', u'/'));
            });
        }
        return box;
    }
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("cellEdit"));
    if (col.kind == CellKind::Number) {
        const int whole = col.digits - col.decimals;
        const QString pattern = col.decimals > 0
                                    ? QStringLiteral("-?[0-9.]{0,%1}(,[0-9]{0,%2})?")
                                          .arg(whole + whole / 3)
                                          .arg(col.decimals)
                                    : QStringLiteral("-?[0-9.]{0,%1}").arg(whole + whole / 3);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
        edit->setAlignment(Qt::AlignRight);
    } else if (col.digits > 0) {
        edit->setMaxLength(col.digits);
    }
    return edit;
}

void PositionCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString value = index.data(Qt::EditRole).toString();
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (box->isEditable()) {
            box->setCurrentIndex(-1);
            box->lineEdit()->setText(value);
            // Typing replaces the date (DateEditKeys).
            box->lineEdit()->selectAll();
            return;
        }
        const int i = box->findData(value);
        box->setCurrentIndex(i);
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(value);
}

void PositionCellDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                        const QModelIndex& index) const {
    QString value;
    if (auto* box = qobject_cast<QComboBox*>(editor))
        value = box->isEditable() ? box->lineEdit()->text() : box->currentData().toString();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        value = edit->text();
    // An unchanged cell is not written again.
    if (value == index.data(Qt::EditRole).toString())
        return;
    // The view calls this while it commits the editor and is about to
    // destroy it: the check, its questions and its messages come once the
    // view is done with the editor.
    m_pending = PendingEdit{QPersistentModelIndex(gridIndex(index)), value};
    QTimer::singleShot(0, this,
                       [this] { const_cast<PositionCellDelegate*>(this)->applyPendingEdit(); });
}

bool PositionCellDelegate::applyPendingEdit() {
    if (!m_pending)
        return true;
    const PendingEdit edit = std::move(*m_pending);
    m_pending.reset();
    // A reload in between: the row is gone and with it the edit.
    if (!edit.cell.isValid())
        return false;
    // Checked with its own row's lists, also when the next cell's editor
    // is open already (which then gets its row's lists back).
    m_editor.beginEdit(edit.cell.row(), edit.cell.column());
    auto* model = const_cast<QAbstractItemModel*>(edit.cell.model());
    const bool taken = model->setData(edit.cell, edit.value, Qt::EditRole);
    if (m_open.isValid() && m_open != edit.cell)
        m_editor.beginEdit(m_open.row(), m_open.column());
    return taken;
}

void PositionCellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (m_open == gridIndex(index))
        m_open = QPersistentModelIndex();
    QStyledItemDelegate::destroyEditor(editor, index);
}
