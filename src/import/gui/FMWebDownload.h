#pragma once

#include <QDialog>

class Connection;
class QComboBox;
class QPushButton;

// "Quendra Web Download": the suppliers whose price data the server offers.
// "Download" writes the chosen supplier's data as the download file and
// closes the window; an entry without a supplier code leaves it open.
class FMWebDownload : public QDialog {
    Q_OBJECT
public:
    explicit FMWebDownload(Connection& connection, QWidget* parent = nullptr);
    ~FMWebDownload() override;

public Q_SLOTS:
    void Lief_Click();
    void bu_download_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Connection& m_connection;
    QComboBox* Lief;
    QPushButton* bu_download;
};
