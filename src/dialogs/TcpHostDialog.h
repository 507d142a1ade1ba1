#pragma once

#include "ui/FixedDialog.h"

#include <memory>

class ChannelManager;

namespace Ui {
class TcpHostDialog;
}

// The TCP/IP dialog: shows the indicator's endpoint and lets the operator change the host for
// this run; the stored endpoint is left as it is.
class TcpHostDialog : public FixedDialog {
    Q_OBJECT
public:
    // Fills the two boxes from the socket's endpoint in force.
    explicit TcpHostDialog(ChannelManager& channels, QWidget* parent = nullptr);
    ~TcpHostDialog() override;

signals:
    void statusPanelText(int panel, const QString& text);

private:
    void onOk();

    std::unique_ptr<Ui::TcpHostDialog> m_ui;
    ChannelManager& m_channels;
};
