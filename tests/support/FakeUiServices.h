#pragma once

#include "platform/UiServices.h"

#include <QList>
#include <QStringList>

// Records the messages and questions the program shows and answers questions and file dialogs
// from a script, without a screen and without waiting.
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
    // Answered from answers, the action when none is left; held open while holdQuestions is
    // set.
    void ask(const QString& title, const QString& text, const QString& action,
             std::function<void(bool)> done) override
    {
        questions.append({title, text});
        actions.append(action);
        if (holdQuestions) {
            openQuestions.append(std::move(done));
            return;
        }
        done(answers.isEmpty() || answers.takeFirst());
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
    // Answers the oldest question left open while holdQuestions was set.
    void answer(bool action)
    {
        if (!openQuestions.isEmpty())
            openQuestions.takeFirst()(action);
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

    QList<Message> questions;
    QStringList actions; // the action button of each question
    QList<bool> answers; // true: the action, false: Cancel
    bool holdQuestions = false;
    QList<std::function<void(bool)>> openQuestions;
};
