#pragma once

#include <QDialog>

class PriceTrackList;
class QPushButton;
class QTreeWidget;

// "VELTAR Quendra Preisschienenauswahl": the validity dates of a price file
// with the number of prices for each; the buyer ticks "übernehmen" for every
// date to be taken over and confirms with "OK". Closing the window any other
// way leaves the choice unconfirmed.
class fmpruebn : public QDialog {
    Q_OBJECT
public:
    explicit fmpruebn(QWidget* parent = nullptr);
    ~fmpruebn() override;

    // Shows the tracks modally. When the buyer confirms, the ticks are
    // written back as the tracks' marks; otherwise the list stays as it was.
    // Returns whether the buyer confirmed.
    static bool choose(PriceTrackList& tracks, QWidget* parent);

    // Fills list1 with one row per track (date, count, tick as marked).
    void setTracks(const PriceTrackList& tracks);
    // Writes the ticks of list1 into the tracks of the same date.
    void writeMarks(PriceTrackList& tracks) const;
    // True once "OK" was pressed since the window was filled.
    bool confirmed() const { return m_confirmed; }

public Q_SLOTS:
    void buok_Click();

private:
    QTreeWidget* list1;
    QPushButton* buok;
    bool m_confirmed = false;
};
