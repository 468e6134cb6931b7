// SPDX-License-Identifier: MIT
#pragma once

#include "app/element.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class QKeyEvent;
class QLineEdit;
class QTimer;
class UDP;

/// The window: one widget per element of the model's element table, at the element's pixel position inside
/// its container. It forwards clicks, keys and timer ticks to the handlers and redraws what the model changed;
/// everything it shows comes from the model.
class MainWindow : public QWidget, public ElementObserver
{
public:
    explicit MainWindow(UDP &udp, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The widget that shows `element`; nullptr for the timer, which has none.
    QWidget *widget(const Element &element) const { return m_widgets.value(&element); }

    /// Shows every change of the model that is still waiting for the next frame.
    void flush();

    void changed(Element &element, Prop prop) override;
    void appended(TextBox &box, const QByteArray &bytes) override;
    void trimmed(TextBox &box, const QByteArray &removed) override;

    /// The window's client area, at 96 dots per inch.
    static constexpr QSize kClientSize{566, 715};

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *build(Element &element, QWidget *parent);
    void redraw(Element &element, Prop prop);
    void clicked(Element &element);
    /// Takes what the user typed into the model without drawing it back (which would move the caret).
    void takeEdit(Element &element, const std::function<void()> &write);
    bool commandLineKey(QKeyEvent *event);
    /// Runs a handler; what it changed is shown at once when the user started it (a click, a key).
    void run(const std::function<void()> &handler, bool byUser = true);

    UDP &m_udp;
    QHash<const Element *, QWidget *> m_widgets;
    QHash<const Element *, QTimer *> m_timers;
    QLineEdit *m_commandLine = nullptr; // the one text box with key handlers
    const Element *m_editing = nullptr; // the element whose change came from the user
    /// Changes waiting for the next frame: a transfer changes the command line and the progress bar
    /// tens of thousands of times a second, and a repaint for each would cost more than the transfer.
    std::vector<std::pair<Element *, Prop>> m_dirty;
    QTimer *m_frame = nullptr;
    QMetaObject::Connection m_focusFollower;
    bool m_byUser = false;
};
