// SPDX-License-Identifier: MIT
#include "window.h"

#include "platform/winsock.h"

namespace
{
using Handler = void (UDP::*)();
struct Wire {
    Element &element;
    Handler handler;
};
} // namespace

void UDP::wireEvents()
{
    // BTNCloseCom is never enabled: the Open button closes the port too. The option buttons and Check3 are
    // only read, when the port opens and at each send and poll.
    const Wire clicks[] = {
        {Add_ip, &UDP::Add_ip_Click},         {Del_ip, &UDP::Del_ip_Click},
        {SaveIP, &UDP::SaveIP_Click},         {cbBind, &UDP::cbBind_Click},
        {Command1, &UDP::Command1_Click},     {Command3, &UDP::Command3_Click},
        {Command4, &UDP::Command4_Click},     {Command5, &UDP::Command5_Click},
        {BTNOpenCom, &UDP::BTNOpenCom_Click}, {Command8, &UDP::Command8_Click},
        {Check1, &UDP::Check1_Click},         {Command7, &UDP::Command7_Click},
        {Check2, &UDP::Check2_Click},         {Command10, &UDP::Command10_Click},
        {Command9, &UDP::Command9_Click},     {Command14, &UDP::Command14_Click},
        {Command11, &UDP::Command11_Click},   {Command12, &UDP::Command12_Click},
        {Command13, &UDP::Command13_Click},   {Command2, &UDP::Command2_Click},
        {Command15, &UDP::Command15_Click},   {Command16, &UDP::Command16_Click},
        {cbSendData, &UDP::cbSendData_Click}, {Command6, &UDP::Command6_Click},
        {ComboPorts, &UDP::ComboPorts_Click},
    };
    // Every event ends by telling of a failed log write, after the handler that wrote has finished, and by letting
    // the device's lock go once no exchange needs it. A click or Enter is a new action: the status line's reason
    // why the last one did nothing goes.
    for (const Wire &wire : clicks)
        wire.element.setClickHandler([this, handler = wire.handler] {
            clearRefusal();
            (this->*handler)();
            settleDeviceLock();
            reportLogFailure();
        });

    tbSendData.setKeyHandlers(
        [this](qint16 &KeyCode, qint16 Shift) {
            tbSendData_KeyDown(KeyCode, Shift);
            reportLogFailure();
        },
        [this](qint16 &KeyAscii) {
            if (KeyAscii == 13)
                clearRefusal();
            tbSendData_KeyPress(KeyAscii);
            reportLogFailure();
        });
    tbReceiveData.setSaveAsHandler([this] { tbReceiveData_SaveAs(); });
    Comm_number.setChangeHandler([this] { Comm_number_Change(); });
    // Adapters come and go: the port box's tip lists the ports present when it is about to show.
    Comm_number.setHoverHandler([this] { Comm_number_Change(); });
    TMRComm.setTickHandler([this] {
        TMRComm_Timer();
        settleDeviceLock();
        reportLogFailure();
    });
    TMRFlash.setTickHandler([this] { TMRFlash_Timer(); });
    TMRNew.setTickHandler([this] { TMRNew_Timer(); });
    TMRRepeat.setTickHandler([this] { TMRRepeat_Timer(); });
    TMRDevice.setTickHandler([this] { TMRDevice_Timer(); });
    TMRPorts.setTickHandler([this] { TMRPorts_Timer(); });
    ComboPorts.setDropDownHandler([this](bool open) { ComboPorts_DropDown(open); });
    // What the datagrams read in one go bring to the log goes in one write: a data reply with the OK after it.
    Winsock1.setBurstHandler([this](const std::function<void()> &arrivals) {
        const LogBatch batch(*this);
        arrivals();
    });
    Winsock1.setArrivalHandler([this] {
        Winsock1_DataArrival();
        settleDeviceLock();
        reportLogFailure();
    });
    // The status line shows the mode the next send will use as soon as a box or an address that decides it changes.
    for (CheckBox *box : {&Check1, &Check2, &Check3})
        box->setChangeHandler([this] { statusChanged(); });
    for (TextBox *box : {&Text3, &Text4})
        box->setChangeHandler([this] { statusChanged(); });
}
