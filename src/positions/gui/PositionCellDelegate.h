#pragma once

#include "positions/PositionEdit.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <optional>

// The editors of the positions grid's cells: a drop-down over the cell's
// list with all its columns (the code is taken), the date mask "99/99/9999"
// for the two date lists, a number field with the column's digits and
// decimals, a text field with the column's length. The value goes to the
// model, which has the edit checked and written back; that check may ask
// (the factor prompts) or refuse with a message, so it runs after the view
// has closed the editor, never while the editor is committed or destroyed.
class PositionCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    PositionCellDelegate(PositionEditor& editor, const PositionLists& lists,
                         QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

    // Hands a value taken from a closed editor to the model now (the
    // window does so before it loads, sorts or filters). False when the
    // model refused it; true when it took it or nothing was waiting.
    bool applyPendingEdit();
    bool hasPendingEdit() const { return m_pending.has_value(); }

private:
    struct PendingEdit {
        QPersistentModelIndex cell; // of the grid's own model, not the view's
        QString value;
    };
    PositionEditor& m_editor;
    const PositionLists& m_lists;
    mutable std::optional<PendingEdit> m_pending;
    mutable QPersistentModelIndex m_open; // the grid's cell whose editor is open
};

// Asks the factor prompts with an input box.
class DialogPrompts : public EditPrompts {
public:
    explicit DialogPrompts(QWidget* parent) : m_parent(parent) {}
    std::optional<QString> askNumber(const QString& prompt, const QString& proposal) override;

private:
    QWidget* m_parent;
};
