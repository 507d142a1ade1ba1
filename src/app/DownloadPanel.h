#pragma once

#include <QObject>

class Downloader;
class IndicatorSession;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;
class UiServices;

// The download frame of the main window: the status line, the progress bar with the share done
// and the time left, and Cancel, shown while a download runs, with the busy pointer.
class DownloadPanel : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        QWidget* frame = nullptr;
        QLineEdit* statusEdit = nullptr;
        QProgressBar* progressBar = nullptr;
        QPushButton* cancelButton = nullptr;
    };

    // Cancel goes to the session, the one owner of cancelling.
    DownloadPanel(IndicatorSession& session, UiServices& ui, const Widgets& widgets,
                  QObject* parent = nullptr);

    // Shows the frame again after a download with text in the status line alone, until the next
    // download starts.
    void showNotice(const QString& text);

    // The status line of the data pass: "Downloading data  5/ 8 bytes".
    static QString statusText(qint32 value, qint32 max);

private:
    void onStarted();
    void onProgress(qint32 value);
    void onStatusText(const QString& text);
    void onFinished();

    const Downloader& m_downloader;
    UiServices& m_ui;
    Widgets m_widgets;
    bool m_shown = false;
    qint32 m_total = 0;
};
