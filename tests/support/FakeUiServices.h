#pragma once

#include "platform/UiServices.h"

#include <QList>
#include <QStringList>

// Records the messages the program shows and answers file dialogs from a script, without a
// screen and without waiting.
class FakeUiServices : public UiServices {
public:
    struct Message {
        QString title;
        QString text;
    };

    void critical(const QString& title, const QString& text, std::function<void()> done) override
    {
        messages.append({title, text});
        if (holdMessages) {
            pending.append(std::move(done));
            return;
        }
        if (done)
            done();
    }
    void chooseOpenFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override
    {
        filters.append(filter);
        folders.append(folder);
        done(fileChoices.isEmpty() ? QString() : fileChoices.takeFirst());
    }
    void chooseSaveFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override
    {
        chooseOpenFile(filter, folder, std::move(done));
    }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    // Closes the oldest message left open while holdMessages was set.
    void acknowledge()
    {
        if (pending.isEmpty())
            return;
        auto done = pending.takeFirst();
        if (done)
            done();
    }
    QStringList texts() const
    {
        QStringList result;
        for (const Message& m : messages)
            result.append(m.text);
        return result;
    }

    QList<Message> messages;
    QStringList filters;
    QStringList folders; // the folder each file dialog started in
    QStringList fileChoices;
    int busyDepth = 0;
    bool holdMessages = false;
    QList<std::function<void()>> pending;
};
