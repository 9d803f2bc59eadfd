#pragma once

#include "DeliveryRatesTaker.h"
#include "import/FileImport.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// "VELTAR Quendra Preisdaten - Import": imports one supplier price file (or
// the files of a DATANORM delivery) into a new download. Once shown, the window asks for the file
// (file import) or runs the web download (web import), shows the file and the supplier found for
// its manufacturer code; "Importieren" runs the import. The window closes itself when there is no
// usable file and after a completed import.
class FMImport : public QDialog, public ImportChoices {
    Q_OBJECT
public:
    enum class Source { File, Web };

    explicit FMImport(Connection& connection, Source source = Source::File,
                      QWidget* parent = nullptr);
    ~FMImport() override;

    Source source() const { return m_source; }
    // Takes the discount rates of a delivery into its discount groups after
    // the import; whoever opens the window sets it.
    void setRatesTaker(DeliveryRatesTaker* taker) { m_ratesTaker = taker; }
    bool importRunning() const { return m_running; }

    // The import's questions: the price track choice over this window, the
    // progress on its meter.
    bool choosePriceTracks(PriceTrackList& tracks) override;
    void setProgress(qint64 value, qint64 maximum) override { ShowProgress(value, maximum); }

    // Lines and characters of the file shown at most in text.
    static constexpr int kShownLines = 2000;
    static constexpr int kShownChars = 1 << 20;
    // The file dialog's choices.
    static const QString kFileFilter;

Q_SIGNALS:
    // A download was created; the downloads list is to be refilled.
    void imported();

public Q_SLOTS:
    // Opens a price file as the file choice would: shows it and the supplier
    // of its manufacturer code, or closes the window when it is not usable.
    void openFile(const QString& path);
    // The same for the files of a delivery (DATANORM files, a .zip): shows
    // what was recognised; a DATANORM delivery names no supplier.
    void openFiles(const QStringList& paths);
    void Timer1_Timer();
    void TXTLnr_Change(const QString& text);
    // The supplier check, run when TXTLnr loses the focus.
    void TXTLnr_LostFocus();
    void BULSu_Click();
    void BUDefaults_Click();
    void Buspeich_Click();
    void BUClose_Click();
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString placementKey() const;
    void ShowFile(const QString& path, const QString& before = QString());
    // A workbook's first rows, a row a line.
    void ShowRows(const QString& path, const QString& before);
    // After an import: the counts and the lines mended, in a window that
    // can save them as a text file.
    void ShowReport(const ImportResult& result, const QStringList& more);
    void ShowProgress(qint64 value, qint64 maximum);
    void SetControlsEnabled(bool enabled);

    Connection& m_connection;
    Source m_source;
    DeliveryRatesTaker* m_ratesTaker = nullptr;
    FileImport m_import;
    QString m_path;
    Delivery m_deliveryFiles;
    bool m_running = false;
    bool m_checking = false;
    bool m_started = false;

    QLineEdit* TXTLnr;
    QLineEdit* TXTLname;
    QPushButton* BULSu;
    QLineEdit* TXTFile;
    QPushButton* BUDefaults;
    QPushButton* Buspeich;
    QPushButton* BUClose;
    QProgressBar* meter;
    QPlainTextEdit* text;
    QTimer* Timer1;
};
