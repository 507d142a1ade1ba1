#pragma once

#include "platform/UiServices.h"

#include <QPointer>
#include <QWidget>

// UiServices on real Qt widgets: window-modal boxes and dialogs opened with open(), never exec().
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* parent);
    ~QtUiServices() override;

    void critical(const QString& title, const QString& text,
                  std::function<void()> done = {}) override;
    void chooseOpenFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void chooseSaveFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void setBusy(bool busy) override;

    // "Description|*.a;*.b" in the form a Qt file dialog takes: "Description (*.a *.b)".
    static QString qtFilter(const QString& filter);

private:
    void chooseFile(bool save, const QString& filter, const QString& folder,
                    std::function<void(const QString&)> done);

    QPointer<QWidget> m_parent;
    int m_busyDepth = 0;
};
