#pragma once

#include <QWidget>

class QTreeView;

// The window "Programmverlauf": the trace log, newest first. Closing it only
// hides it, so the entries survive until the program ends.
class frmProgrammverlauf : public QWidget {
    Q_OBJECT
public:
    // Created on first use; lives until the program ends.
    static frmProgrammverlauf* instance();

    explicit frmProgrammverlauf(QWidget* parent = nullptr);

    // The same as TraceLog without a level.
    void StatusText(const QString& part, const QString& text, const QString& parameter);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTreeView* m_list;
};
