// SPDX-License-Identifier: MIT
#pragma once

#include "app/element.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

class CommandPanel;
class MonitorWindow;
class QAction;
class QKeyEvent;
class QLineEdit;
class QTimer;
class StatusLine;
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
    /// Opens the wire monitor beside the window (the pane's menu, Ctrl+M); nullptr until it was first opened.
    void openMonitor();
    MonitorWindow *monitor() const { return m_monitor; }

    void changed(Element &element, Prop prop) override;
    void appended(TextBox &box, const QByteArray &bytes) override;
    void trimmed(TextBox &box, const QByteArray &removed) override;
    void statusChanged() override;
    void commandsChanged() override;
    /// The side panel of saved commands.
    CommandPanel *commandPanel() const { return m_panel; }

    /// The window's client area as laid out, at 96 dots per inch; the status line goes below it.
    static constexpr QSize kClientSize{566, 715};
    static constexpr int kStatusHeight = 20;
    /// The smallest window, status line included: with a title bar and a taskbar it still fits the 614 logical
    /// pixels of a 768-pixel-high screen at 125 %.
    static constexpr QSize kMinimumSize{566, 480};

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    /// F1 to F12, wherever the focus is, send the first twelve saved commands of the list shown.
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    /// The receive pane, the command line with its case buttons and the status line follow the window's size;
    /// every other element keeps its rectangle.
    void placeGrowing();
    /// The status line shows the model's words; while a reply is awaited, it counts the silence each second.
    void showStatus();
    QWidget *build(Element &element, QWidget *parent);
    void redraw(Element &element, Prop prop);
    void clicked(Element &element);
    /// Takes what the user typed into the model without drawing it back (which would move the caret).
    void takeEdit(Element &element, const std::function<void()> &write);
    bool commandLineKey(QKeyEvent *event);
    /// The arrow keys on an option: the previous or next option of its group, selected.
    bool optionKey(Element &option, QKeyEvent *event);
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
    StatusLine *m_status = nullptr;
    bool m_statusDirty = true;
    QTimer *m_silence = nullptr;
    /// Never shown: holds the widgets of the elements laid out below the client area, which hold values but must
    /// not come into view or take the focus when the window grows.
    QWidget *m_below = nullptr;
    QMetaObject::Connection m_focusFollower;
    CommandPanel *m_panel = nullptr;
    QAction *m_stayClosed = nullptr; // the status line's menu
    bool m_byUser = false;
    MonitorWindow *m_monitor = nullptr;
};
