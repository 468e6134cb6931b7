// SPDX-License-Identifier: MIT
#pragma once

#include "app/element.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <functional>

class QEventLoop;
class QTimer;
class StderrMessageBox;
class UDP;
struct SavedCommand;

/// Runs the window model without a window, the way the view runs it: the user's clicks, edits and keys go to
/// the elements, each timer element runs a real timer while it is enabled, and the event loop delivers what the
/// device sends. Waits are for conditions on what the model shows, with a ceiling on the device's silence.
class Runner : public QObject, public ElementObserver
{
public:
    Runner(UDP &udp, StderrMessageBox &boxes);
    ~Runner() override;

    // What the user does. An element that is disabled, or sits in a disabled frame, cannot be used: false.
    bool click(Element &element);
    /// Types the text into a box, as the view hands an edit to the model.
    bool type(TextBox &box, const QByteArray &text);
    bool type(ComboBox &box, const QByteArray &text);
    /// Ticks or clears a check box, or selects an option, then clicks it as the view does.
    bool check(CheckBox &box, bool on);
    /// Types the line into the command line and presses Enter.
    void enter(const QByteArray &line);
    /// Sends a saved command, as a click on it in the side panel; false when the terminal refused it.
    bool send(const SavedCommand &command);
    /// An event of the user's is running: what changes now is the terminal's own doing, not the device's.
    bool acting() const { return m_acting > 0; }

    enum class Outcome {
        Done,        // the condition holds
        Silent,      // the device sent no byte for the time given
        Failed,      // a failure's box came up since the last thing the user did
        Interrupted, // Ctrl-C, SIGTERM, SIGHUP, Ctrl-Break (see Interrupts)
    };
    /// Runs the event loop until `done` holds, judged after every change of the model; or until the device has
    /// been silent for `silenceMs` since the wait began or its last byte.
    Outcome wait(const std::function<bool()> &done, int silenceMs);

    /// Runs with every change of an element, after the view would have redrawn it.
    std::function<void(Element &element, Prop prop)> changedHook;
    /// Runs with every append to the receive pane: `fromDevice` when the device's text came to the console, not
    /// the terminal's own echo of a command or its line break.
    std::function<void(const QByteArray &bytes, bool fromDevice)> paneHook;

    void changed(Element &element, Prop prop) override;
    void appended(TextBox &box, const QByteArray &bytes) override;
    void statusChanged() override;

private:
    /// Runs an event of the user's; a failure no handler catches ends it, told as a box would tell it.
    void act(const std::function<void()> &event);
    void tick(Element &timer);
    void check();
    static bool usable(const Element &element);

    UDP &m_udp;
    StderrMessageBox &m_boxes;
    QHash<const Element *, QTimer *> m_timers;
    int m_acting = 0;    // inside an event of the user's: what reaches the pane is the terminal's own
    int m_boxesSeen = 0; // failures' boxes shown up to the last event of the user's
    qint64 m_received = 0;
    QElapsedTimer m_sinceByte;
    // The wait under way.
    QEventLoop *m_loop = nullptr;
    const std::function<bool()> *m_done = nullptr;
    Outcome m_outcome = Outcome::Done;
};
