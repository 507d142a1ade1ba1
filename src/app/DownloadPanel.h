#pragma once

#include <QObject>

class Downloader;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;
class UiServices;

// The download frame of the main window: the status line, the progress bar and Cancel, shown
// while a download runs, with the busy pointer.
class DownloadPanel : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        QWidget* frame = nullptr;
        QLineEdit* statusEdit = nullptr;
        QProgressBar* progressBar = nullptr;
        QPushButton* cancelButton = nullptr;
    };

    DownloadPanel(Downloader& downloader, UiServices& ui, const Widgets& widgets,
                  QObject* parent = nullptr);

private:
    void onStarted();
    void onStatusText(const QString& text);
    void onFinished();

    UiServices& m_ui;
    Widgets m_widgets;
    bool m_shown = false;
};
