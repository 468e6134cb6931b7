// SPDX-License-Identifier: MIT
#include "window.h"

#include "platform/commondialog.h"
#include "platform/messagebox.h"
#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

UDP::UDP(const Platform &platform)
    : Winsock1(platform.winsock), MSComm1(platform.mscomm), CommonDialog1(platform.dialog),
      m_messageBox(platform.messageBox), m_system(platform.system)
{
    tbReceiveData.setFont(Font::Pane);
    tbReceiveData.setMaxBytes(kReceivePaneLimit);
    tbSendData.setFont(Font::Pane);
    Command15.setFont(Font::SansBold);
    Command16.setFont(Font::SansBold);
    vbalProgressBar1.setFont(Font::Sans);
    Comm_number.setBackColor(Colour::WindowBackground);
    Option6.setValue(1);
    // The command line comes first in the tab order: it has the focus when the window opens. Its hint goes with
    // the first key typed.
    tbSendData.SetFocus();
    tbSendData.setProvisional(true);
    wireEvents();
    giveToolTips();
    Comm_number_Change();
}
