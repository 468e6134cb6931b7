// SPDX-License-Identifier: MIT
#include "app/window.h"

namespace
{
const QString kSettingsFile = QStringLiteral("terminal.ini");
/// An address list is a few lines; a start reads no more of the file than this, whatever it holds.
constexpr qint64 kMaxSettingsBytes = 1024 * 1024;
} // namespace

void UDP::loadAddressList()
{
    qint16 n = 0;
    try {
        n = files.FreeFile();
        files.openInput(n, kSettingsFile, kMaxSettingsBytes);
        ComboRemoteIP.Clear();
        // The first read happens even on an empty file, and fails there.
        do {
            const QByteArray entry = files.inputEntry(n);
            if (!entry.isEmpty())
                ComboRemoteIP.AddItem(entry);
        } while (!files.eof(n));
        if (ComboRemoteIP.ListCount() == 0)
            throw Failure(Err::SubscriptOutOfRange, QStringLiteral("The address list is empty"));
        ComboRemoteIP.setListIndex(0);
        files.close(n);
    } catch (const Failure &) {
        // Entries read before the failure stay; the device's factory address follows them.
        files.close(n);
        ComboRemoteIP.AddItem(kDefaultAddress);
        ComboRemoteIP.setListIndex(0);
    }
}

void UDP::Add_ip_Click()
{
    if (!ComboRemoteIP.Text().isEmpty())
        ComboRemoteIP.AddItem(ComboRemoteIP.Text());
    else
        refuse(Why::NoAddress);
    tbSendData.SetFocus();
}

void UDP::Del_ip_Click()
{
    // With no entry selected there is nothing to remove.
    if (ComboRemoteIP.ListIndex() < 0)
        refuse(Why::NotInList);
    ComboRemoteIP.RemoveItem(ComboRemoteIP.ListIndex());
    tbSendData.SetFocus();
}

void UDP::SaveIP_Click()
{
    qint16 n = 0;
    try {
        n = files.FreeFile();
        files.openOutput(n, kSettingsFile);
        for (const QByteArray &entry : ComboRemoteIP.items())
            files.print(n, entry + CRLF);
        files.close(n);
    } catch (const Failure &failure) {
        showFailure(failure);
        files.close(n);
        tbSendData.SetFocus();
    }
}
