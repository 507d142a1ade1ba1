#pragma once

#include "ticket/DownloadNotice.h"

#include <QCoreApplication>
#include <QString>

class Downloader;
class UiServices;

// The words for a download's notices, in the language of the installed translator: the window's
// message boxes, and the lines the command line prints of them.
class DownloadMessages {
    Q_DECLARE_TR_FUNCTIONS(DownloadMessages)
public:
    // The title of every box: "Update Error".
    static QString title();
    static QString text(const DownloadNotice& notice);

private:
    static QString slotList(const QList<int>& slotNumbers);
    static QString holdingsText(const DownloadNotice& notice);
    static QString stopText(const DownloadNotice& notice);
    static QString causeText(const DownloadNotice& notice);
    static QString pointerErrorText(const DownloadNotice& notice);
    static QString notStoredText(const DownloadNotice& notice);
};

// Shows each notice of the downloader in a message box and lets the download go on once the
// operator has closed it, as the window does.
void showDownloadNotices(Downloader& downloader, UiServices& ui);
