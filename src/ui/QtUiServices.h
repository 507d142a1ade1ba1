#pragma once

#include "platform/UiServices.h"

#include <QPointer>
#include <QWidget>

class QMessageBox;

// UiServices on real Qt widgets: window-modal boxes and dialogs opened with open(), never exec().
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* parent);
    ~QtUiServices() override;

    void critical(const QString& title, const QString& text,
                  std::function<void()> done = {}) override;
    void ask(const QString& title, const QString& text, const QString& action,
             std::function<void(bool)> done) override;
    void chooseOpenFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void chooseSaveFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void setBusy(bool busy) override;

    // "Description|*.a;*.b" in the form a Qt file dialog takes: "Description (*.a *.b)".
    static QString qtFilter(const QString& filter);

private:
    // Shows the box with the normal pointer, also in the middle of a long job; done runs once it
    // is closed.
    void openBox(QMessageBox* box, std::function<void()> done);
    void chooseFile(bool save, const QString& filter, const QString& folder,
                    std::function<void(const QString&)> done);

    QPointer<QWidget> m_parent;
    int m_busyDepth = 0;
};
