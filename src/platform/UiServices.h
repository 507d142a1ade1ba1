#pragma once

#include <QString>
#include <functional>

// What the core asks of the screen: a message the operator must acknowledge, a question, a
// file to open, the busy pointer. Each answer comes back through a callback, so nothing waits in a
// nested loop.
class UiServices {
public:
    virtual ~UiServices() = default;

    // A modal box with a critical icon and an OK button only; done runs once it is closed.
    virtual void critical(const QString& title, const QString& text,
                          std::function<void()> done = {}) = 0;
    // A modal box with a question icon and two buttons: the one named action, which does what
    // the question asks, and Cancel, the default and the Escape button. done gets true for the
    // action, false for Cancel or a box closed otherwise.
    virtual void ask(const QString& title, const QString& text, const QString& action,
                     std::function<void(bool)> done) = 0;
    // An open-file dialog starting in folder (the system's choice when empty); done gets the
    // chosen full path, or an empty text when cancelled. The filter has the form
    // "Description|*.a;*.b".
    virtual void chooseOpenFile(const QString& filter, const QString& folder,
                                std::function<void(const QString&)> done) = 0;
    // A save-file dialog, alike, starting in folder or, given a file's path, with that file
    // proposed; a name typed without a suffix gets the filter's first one.
    virtual void chooseSaveFile(const QString& filter, const QString& folder,
                                std::function<void(const QString&)> done) = 0;
    // The hourglass pointer over the program's windows, on or off. Calls nest.
    virtual void setBusy(bool busy) = 0;
};
