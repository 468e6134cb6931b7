// SPDX-License-Identifier: MIT
#include "charset.h"
#include "window.h"

#include "platform/commondialog.h"
#include "platform/mscomm.h"
#include "platform/system.h"

#include <QFileInfo>

#include <cmath>

void UDP::Form_Load()
{
    PortOpened = 0;
    FlashWriting = 0;
    FlashLastBlock = 0;
    HistRecalled = 0;
    vbalProgressBar1.setText("NO FILE");
    loadAddressList();
    try {
        m_system.randomize();
        tbLocalPort.setText(QByteArray::number(int(std::floor(m_system.rnd() * 1000)) + 5500));
        tbRemotePort.setText("111");
        LogFileNum = files.FreeFile();
        // By its full name, so that a box about it says which folder would not take it.
        files.openAppend(LogFileNum, QFileInfo(m_logFile).absoluteFilePath());
        m_logOpen = true;
        logLine("START Vantrel V3.0");
        logLine(m_system.nowText());
    } catch (const Failure &failure) {
        statusChanged(); // the terminal runs without a log, and the status line says so
        showFailure(failure);
    }
    // A log that opens but cannot be written (a full disk) is told as one that cannot be opened.
    reportLogFailure();
}

void UDP::Form_Unload()
{
    // A listing still under way ends with the window: the file chosen stays as it was, and the box says where the
    // lines that came are.
    try {
        ProgListingStop();
    } catch (const Failure &failure) {
        showFailure(failure);
    }
    if (MSComm1.portOpen()) {
        try {
            MSComm1.setPortOpen(false);
        } catch (const Failure &) {
            // The window closes all the same; there is nobody left to tell.
        }
    }
}

void UDP::Command2_Click()
{
    tbReceiveData.setText({});
    tbSendData.SetFocus();
}

void UDP::Command15_Click()
{
    tbSendData.setText(Charset::toUpper(tbSendData.Text()));
    tbSendData.SetFocus();
}

void UDP::Command16_Click()
{
    tbSendData.setText(Charset::toLower(tbSendData.Text()));
    tbSendData.SetFocus();
}

void UDP::tbReceiveData_SaveAs()
{
    // The pane's own command, not a step of the device's exchanges: a cancelled dialog needs no word.
    CommonDialog1.setFilter(QStringLiteral("Text files (*.txt)|*.txt|All files (*.*)|*.*"));
    CommonDialog1.showSave();
    const QString name = CommonDialog1.fileName();
    if (name.isEmpty() || CommonDialog1.cancelled())
        return;
    qint16 n = 0;
    try {
        n = files.FreeFile();
        files.openAtomic(n, name);
        files.print(n, tbReceiveData.Text());
        files.commit(n);
    } catch (const Failure &failure) {
        files.release(n);
        showFailure(failure);
    }
}
