// SPDX-License-Identifier: MIT
#include "runner.h"

#include "headless.h"
#include "interrupts.h"

#include "app/window.h"

#include <QEventLoop>
#include <QTimer>

namespace
{
/// An interrupt only sets a flag; a wait looks at it this often.
constexpr int kInterruptPollMs = 100;
} // namespace

Runner::Runner(UDP &udp, StderrMessageBox &boxes) : m_udp(udp), m_boxes(boxes)
{
    for (Element *element : m_udp.elements()) {
        if (element->kind() != Kind::Timer)
            continue;
        auto *timer = new QTimer(this);
        timer->setInterval(static_cast<Timer *>(element)->Interval());
        connect(timer, &QTimer::timeout, this, [this, element] { tick(*element); });
        m_timers.insert(element, timer);
        if (element->Enabled())
            timer->start();
    }
    m_boxes.shown = [this] { check(); };
    m_udp.setObserver(this);
    m_sinceByte.start();
}

Runner::~Runner()
{
    m_boxes.shown = nullptr;
    if (m_udp.observer() == this)
        m_udp.setObserver(nullptr);
}

bool Runner::usable(const Element &element)
{
    // A disabled frame disables what it holds, as the window's widgets do.
    return element.Enabled() && (!element.container() || element.container()->Enabled());
}

void Runner::act(const std::function<void()> &event)
{
    m_boxesSeen = m_boxes.failures();
    ++m_acting;
    try {
        event();
    } catch (const Failure &failure) {
        // The window ends such a handler quietly; here the run must end with the failure's number.
        m_boxes.show(failure.description(), MessageBox::Critical, QStringLiteral("Error#%1").arg(failure.number()));
    }
    --m_acting;
}

bool Runner::click(Element &element)
{
    if (!usable(element))
        return false;
    act([&element] { element.Click(); });
    return true;
}

bool Runner::type(TextBox &box, const QByteArray &text)
{
    if (!usable(box))
        return false;
    act([&box, &text] {
        box.setText(text);
        box.caretToEnd();
    });
    return true;
}

bool Runner::type(ComboBox &box, const QByteArray &text)
{
    if (!usable(box))
        return false;
    act([&box, &text] { box.setText(text); });
    return true;
}

bool Runner::check(CheckBox &box, bool on)
{
    if (!usable(box))
        return false;
    act([&box, on] {
        if (box.kind() == Kind::OptionButton)
            static_cast<OptionButton &>(box).setValue(1);
        else
            box.setValue(on ? 1 : 0);
        box.Click();
    });
    return true;
}

void Runner::enter(const QByteArray &line)
{
    TextBox &box = m_udp.tbSendData;
    act([&box, &line] {
        box.setText(line);
        box.caretToEnd();
        // Enter goes to KeyDown first, which may swallow it, then to KeyPress.
        qint16 keyCode = 13;
        box.KeyDown(keyCode, 0);
        if (keyCode == 0)
            return;
        qint16 keyAscii = 13;
        box.KeyPress(keyAscii);
    });
}

bool Runner::send(const SavedCommand &command)
{
    bool sent = false;
    act([&] { sent = m_udp.sendSavedCommand(command); });
    return sent;
}

void Runner::tick(Element &timer)
{
    try {
        static_cast<Timer &>(timer).Tick();
    } catch (const Failure &failure) {
        m_boxes.show(failure.description(), MessageBox::Critical, QStringLiteral("Error#%1").arg(failure.number()));
    }
}

void Runner::changed(Element &element, Prop prop)
{
    if (QTimer *timer = m_timers.value(&element)) {
        if (prop == Prop::Interval)
            timer->setInterval(static_cast<Timer &>(element).Interval());
        if (prop == Prop::Enabled)
            element.Enabled() ? timer->start() : timer->stop();
    }
    if (changedHook)
        changedHook(element, prop);
    check();
}

void Runner::appended(TextBox &box, const QByteArray &bytes)
{
    // The device's text reaches the pane only from the event loop (a datagram, a poll tick); whatever is appended
    // while the user's event runs is the terminal's own echo and line break.
    if (&box == &m_udp.tbReceiveData && paneHook)
        paneHook(bytes, m_acting == 0);
    check();
}

void Runner::statusChanged()
{
    if (m_udp.bytesReceived() != m_received) {
        m_received = m_udp.bytesReceived();
        m_sinceByte.restart();
    }
    check();
}

void Runner::check()
{
    if (!m_loop)
        return;
    if (m_boxes.failures() > m_boxesSeen)
        m_outcome = Outcome::Failed;
    else if ((*m_done)())
        m_outcome = Outcome::Done;
    else
        return;
    m_loop->quit();
}

Runner::Outcome Runner::wait(const std::function<bool()> &done, int silenceMs)
{
    if (Interrupts::requested())
        return Outcome::Interrupted;
    if (m_boxes.failures() > m_boxesSeen)
        return Outcome::Failed;
    if (done())
        return Outcome::Done;
    QEventLoop loop;
    m_loop = &loop;
    m_done = &done;
    m_sinceByte.restart();
    // Armed once and looked at when it fires, rather than restarted by every byte of a transfer.
    QTimer silence;
    silence.setSingleShot(true);
    connect(&silence, &QTimer::timeout, &loop, [&] {
        // The device's silence does not count while it is gone and awaited: the wait has its own end.
        if (m_udp.waitingForDevice())
            m_sinceByte.restart();
        const qint64 left = silenceMs - m_sinceByte.elapsed();
        if (left > 0) {
            silence.start(int(left));
            return;
        }
        m_outcome = Outcome::Silent;
        loop.quit();
    });
    silence.start(silenceMs);
    QTimer interrupts;
    connect(&interrupts, &QTimer::timeout, &loop, [&] {
        if (!Interrupts::requested())
            return;
        m_outcome = Outcome::Interrupted;
        loop.quit();
    });
    interrupts.start(kInterruptPollMs);
    loop.exec();
    m_loop = nullptr;
    m_done = nullptr;
    return m_outcome;
}
