#pragma once

#include "conditions/Posting.h"

#include <QDialog>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

// "VELTAR Quendra Preisdaten - Verbuchen": the options of a posting, a
// preview of what the taken rows would touch, the meter and "Verbuchen".
// After a posting the window hides, so its boxes keep their states for the
// next posting; closed by its close box it is discarded.
class fmverbuch : public QDialog {
    Q_OBJECT
public:
    fmverbuch(Connection& connection, PositionGridModel& grid, const PositionDownload& download,
              QWidget* parent = nullptr);
    ~fmverbuch() override;

    // The check box of a control name ("chmark", "chvorhupd", ...).
    QCheckBox* Box(const QString& name) const;
    // The options as the boxes show them.
    PostingOptions Options() const;
    // The preview as plain text, one line per count group.
    QString PreviewText() const;
    // The filter of the count the buyer clicked in the preview (the window
    // hid then, its options kept), once; nullopt when none was clicked.
    std::optional<PositionFilter> takeLinkedFilter();
    // True once a posting ran to its end since the window was shown.
    bool posted() const { return m_posted; }
    // True once a posting started since the window was shown (it may have
    // stopped at a refused position).
    bool ran() const { return m_ran; }
    // True when the buyer closed the window: it starts afresh next time.
    bool discarded() const { return m_discarded; }
    // Requests in flight at most (tests post one at a time).
    void setDepth(int depth) { m_depth = depth; }
    // Reads the grid again; called after a run that stopped at a refused
    // position, while the window stays open.
    void setReload(std::function<void()> reload) { m_reload = std::move(reload); }

public Q_SLOTS:
    void BUVerbuch_Click();
    void UpdatePreview();
    // A count of the preview clicked: "filter:NAMES".
    void PreviewLink(const QString& link);

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    Connection& m_connection;
    PositionGridModel& m_grid;
    PositionDownload m_download;
    int m_deletedReported = -1; // read once, with the first preview
    bool m_posted = false;
    bool m_ran = false;
    bool m_discarded = false;
    bool m_running = false;
    int m_depth = 256;
    std::function<void()> m_reload;
    QString m_previewText;
    std::optional<PositionFilter> m_linked;

    QCheckBox* chmark;
    QList<QCheckBox*> m_options; // in PostingOption order
    QGroupBox* fr_selekt;
    QGroupBox* fr_vorschau;
    QLabel* lbvorschau;
    QProgressBar* ctMeter1;
    QPushButton* BUVerbuch;
};
