#pragma once

#include "link/ChannelSettings.h"
#include "ui/FixedDialog.h"

#include <memory>

namespace Ui {
class TcpHostDialog;
}

// The TCP/IP dialog: shows the indicator's endpoint and hands back the host typed, which the
// caller uses for this run only; the port is shown, not changed.
class TcpHostDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit TcpHostDialog(const ChannelSettings& settings, QWidget* parent = nullptr);
    ~TcpHostDialog() override;

    // Taken as typed: the socket reports a host it cannot reach when it connects.
    QString chosenHost() const;

private:
    std::unique_ptr<Ui::TcpHostDialog> m_ui;
};
