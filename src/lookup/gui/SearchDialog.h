#pragma once

#include <QDialog>
#include <QString>

class QAbstractItemModel;
class QFormLayout;
class QLabel;
class QPushButton;
class QTreeView;

// What the search dialogs share: criteria boxes above, the hits in a list
// below, "Suchen", "Übernehmen" and "Abbruch". Enter in a box searches;
// Enter or a double-click on a hit chooses it. The window keeps its place
// under its own key.
class SearchDialog : public QDialog {
    Q_OBJECT
public:
    // The value chosen; empty when the window closed without a choice.
    QString chosen() const { return m_chosen; }
    QTreeView* List() const { return m_list; }

public Q_SLOTS:
    void BUSuchen_Click();
    void BUOK_Click();
    void done(int result) override;

protected:
    SearchDialog(const QString& name, const QString& title, const QString& listName,
                 const QString& placementKey, QWidget* parent);
    // Puts the model into the list and restores the window's place; called
    // by the dialog's constructor once its boxes are made.
    void finish(QAbstractItemModel* model, const QList<int>& widths);
    // A criteria row; a line edit or editable combo box in it searches on
    // Enter.
    void addCriteria(const QString& label, QWidget* box);
    QWidget* searchRow(QWidget* box);

    // Runs the search with the boxes' contents; returns the hits found, -1
    // when the search failed (its error was reported).
    virtual int search() = 0;
    // The value a hit stands for.
    virtual QString valueOf(int row) const = 0;
    // "Kein Lieferant gefunden" and so on.
    virtual QString countText(int hits) const = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(int row);

    QString m_placementKey;
    QFormLayout* m_criteria;
    QTreeView* m_list;
    QLabel* LBLAnzahl;
    QPushButton* BUSuchen;
    QPushButton* BUOK;
    QPushButton* BUAbbruch;
    QString m_chosen;
};

// "N Lieferanten gefunden" and its singular, none and the limit, in German.
QString HitCountText(int hits, int limit, const QString& one, const QString& many,
                     const QString& none);
