// SPDX-License-Identifier: MIT
#pragma once

#include "app/window.h"

#include "platform/mscomm.h"

#include <utility>

/// What the user sees of the port: every element that the Open button sets, in one line.
inline QByteArray portState(const UDP &w)
{
    const auto onOff = [](bool on) { return QByteArray(on ? "on" : "off"); };
    const QByteArray box = w.Comm_number.BackColor() == Colour::Green              ? "green"
                           : w.Comm_number.BackColor() == Colour::WindowBackground ? "plain"
                                                                                   : "other";
    int options = 0;
    for (const OptionButton *option : {&w.Option1, &w.Option2, &w.Option3, &w.Option4, &w.Option5, &w.Option6})
        options += option->Enabled();
    return "PortOpened " + QByteArray::number(w.PortOpened) + ", port " + onOff(w.MSComm1.portOpen()) + ", " +
           w.BTNOpenCom.Caption() + ", poll " + onOff(w.TMRComm.Enabled()) + ", Pic " + onOff(w.Pic.Visible()) +
           ", box " + box + ", options " + QByteArray::number(options) + ", Frame5 " + onOff(w.Frame5.Enabled());
}

inline constexpr char kPortOpen[] = "PortOpened 1, port on, Close, poll on, Pic on, box green, options 0, Frame5 on";
inline constexpr char kPortClosed[] =
    "PortOpened 0, port off, Open, poll off, Pic off, box plain, options 6, Frame5 off";

/// Records the poll timer being stopped (-) and started (+); "+" while it runs is a restart.
class TimerTrace : public ElementObserver
{
public:
    explicit TimerTrace(UDP &w) : m_w(w) { m_w.setObserver(this); }
    ~TimerTrace() override { m_w.setObserver(nullptr); }
    void changed(Element &element, Prop prop) override
    {
        if (&element == &m_w.TMRComm && prop == Prop::Enabled)
            m_trace += element.Enabled() ? '+' : '-';
    }
    void appended(TextBox &, const QByteArray &) override {}
    QByteArray take() { return std::exchange(m_trace, QByteArray()); }

private:
    UDP &m_w;
    QByteArray m_trace;
};
