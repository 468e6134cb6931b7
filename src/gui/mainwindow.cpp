// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include "commandpanel.h"
#include "monitorwindow.h"
#include "receivepane.h"
#include "widgets.h"

#include "app/charset.h"
#include "app/window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace
{

/// The window's keys as the handlers know them (Windows virtual-key codes); 0 for keys they never see.
qint16 virtualKey(int key)
{
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        // Letters and digits share their codes with the upper-case characters.
        if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
            return qint16(key);
        return 0;
    }
}

/// The modifier mask of the key handlers: 1 Shift, 2 Ctrl, 4 Alt.
qint16 shiftMask(Qt::KeyboardModifiers modifiers)
{
    return qint16((modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
                  (modifiers & Qt::AltModifier ? 4 : 0));
}

/// The key changes the text: a character, a deletion, a paste.
bool typesText(const QKeyEvent *event)
{
    const QString text = event->text();
    return (text.size() == 1 && text[0].isPrint()) || event->key() == Qt::Key_Backspace ||
           event->key() == Qt::Key_Delete || event->matches(QKeySequence::Paste);
}

QFont sansFont(bool bold)
{
    QFont font;
#if defined(Q_OS_WIN)
    // Windows' own dialog fonts: MS Sans Serif, the window's first font, is a bitmap font there that does not scale,
    // and under Wine the fallback (Liberation Sans) loses every capital I. Tahoma is in every Windows and in Wine.
    font.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("MS Shell Dlg 2")});
#else
    // MS Sans Serif is what the window was drawn with; elsewhere a sans serif of the same metrics.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
#endif
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QFont elementFont(Font font)
{
    switch (font) {
    case Font::Pane: {
        QFont pane;
        pane.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
        pane.setStyleHint(QFont::Monospace);
        pane.setPointSizeF(9.75);
        return pane;
    }
    case Font::SansBold:
        return sansFont(true);
    case Font::Sans:
    case Font::Default:
        break;
    }
    return sansFont(false);
}

QColor colour(quint32 rgb, const QWidget *widget, QPalette::ColorRole systemRole)
{
    // The window-background colour is the system's own, the normal background of a text box.
    if (rgb == Colour::WindowBackground)
        return QApplication::palette(widget).color(systemRole);
    return QColor::fromRgb(QRgb(rgb));
}

/// Runs a timer element. Enabled again while it runs, it starts its count again; a flash transfer does that with
/// every reply, so a restart only moves the deadline, and a tick that comes before the deadline waits out the rest.
class ElementTimer : public QTimer
{
public:
    ElementTimer(const Timer &element, std::function<void()> tick, QObject *parent)
        : QTimer(parent), m_interval(element.Interval()), m_tick(std::move(tick))
    {
        setObjectName(QString::fromLatin1(element.name()));
        setSingleShot(true);
        m_clock.start();
        connect(this, &QTimer::timeout, this, &ElementTimer::due);
    }
    /// A new interval while the timer runs: the next tick comes a full new interval from now.
    void setIntervalMs(int ms)
    {
        m_interval = ms;
        if (!isActive())
            return;
        m_due = m_clock.elapsed() + m_interval;
        start(m_interval); // a shorter interval must not wait for the longer one
    }
    void setRunning(bool running)
    {
        if (!running) {
            stop();
            return;
        }
        m_due = m_clock.elapsed() + m_interval;
        if (!isActive())
            start(m_interval);
    }

private:
    void due()
    {
        // A coarse timer may fire up to a twentieth of its interval early; only a restart moves the deadline further.
        const qint64 left = m_due - m_clock.elapsed();
        if (left > m_interval / 20) {
            start(int(left));
            return;
        }
        m_due = m_clock.elapsed() + m_interval;
        start(m_interval);
        m_tick(); // it may stop or restart the timer
    }

    int m_interval;
    std::function<void()> m_tick;
    QElapsedTimer m_clock;
    qint64 m_due = 0;
};

} // namespace

MainWindow::MainWindow(UDP &udp, QWidget *parent) : QWidget(parent), m_udp(udp)
{
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel.svg")));
    m_frame = new QTimer(this);
    m_frame->setSingleShot(true);
    m_frame->setInterval(ReceivePane::kFlushMs);
    connect(m_frame, &QTimer::timeout, this, &MainWindow::flush);
    setFont(sansFont(false));
    m_below = new QWidget(this);
    m_below->hide();

    // The widgets are made in the order of the element table, which reads the window row by row and frame by
    // frame: that is also the Tab order, the receive pane included. Nothing below the client area can take the
    // focus, since its holder is never shown.
    for (Element *element : m_udp.elements()) {
        QWidget *parent = this;
        if (element->container())
            parent = widget(*element->container());
        else if (element->geometry().top() >= kClientSize.height())
            parent = m_below;
        QWidget *w = build(*element, parent);
        if (w) {
            w->setObjectName(QString::fromLatin1(element->name()));
            w->setGeometry(element->geometry());
            w->setToolTip(Charset::decode(element->ToolTipText()));
            if (element->hasHoverHandler())
                w->installEventFilter(this);
            if (element->font() != Font::Default)
                w->setFont(elementFont(element->font()));
            m_widgets.insert(element, w);
        }
        for (Prop prop : {Prop::Text, Prop::Items, Prop::Value, Prop::Max, Prop::FillColor, Prop::BackColor,
                          Prop::Enabled, Prop::Visible})
            redraw(*element, prop);
    }
    // The wire monitor, a window of its own: from the pane's menu, and with Ctrl+M anywhere in the window.
    auto *monitor = new QAction(QStringLiteral("Wire &Monitor..."), this);
    monitor->setObjectName(QStringLiteral("wireMonitor"));
    monitor->setShortcut(Qt::CTRL | Qt::Key_M);
    monitor->setShortcutContext(Qt::WindowShortcut);
    connect(monitor, &QAction::triggered, this, &MainWindow::openMonitor);
    widget(m_udp.tbReceiveData)->addAction(monitor);
    m_status = new StatusLine(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    // The status line's menu: "Stay closed" ends the wait for a serial device that went away.
    m_stayClosed = new QAction(QStringLiteral("Stay closed"), m_status);
    m_stayClosed->setObjectName(QStringLiteral("stayClosed"));
    m_status->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_status->addAction(m_stayClosed);
    connect(m_stayClosed, &QAction::triggered, this, [this] { run([this] { m_udp.StayClosed_Click(); }); });
    m_panel = new CommandPanel(
        m_udp, [this](const std::function<void()> &handler) { run(handler); }, this);
    m_panel->setObjectName(QStringLiteral("commandPanel"));
    m_panel->hide();
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this,
            [this] { run([this] { m_udp.CommandPanel_Toggle(); }); });
    m_silence = new QTimer(this);
    m_silence->setInterval(1000);
    connect(m_silence, &QTimer::timeout, this, &MainWindow::showStatus);
    m_udp.setObserver(this);
    showStatus();
    if (Element *focus = m_udp.focus())
        redraw(*focus, Prop::Focus);

    // The laid-out size, or the screen's free area where that is smaller. The window manager's frame is not
    // known before the window is shown; a title bar and borders of this size stand in for it.
    const QSize frame(16, 40);
    const QSize laidOut = kClientSize + QSize(0, kStatusHeight);
    setMinimumSize(kMinimumSize);
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    resize(screen ? laidOut.boundedTo(screen->availableGeometry().size() - frame).expandedTo(kMinimumSize) : laidOut);
    placeGrowing();

    // The user moving the focus moves it in the model too.
    m_focusFollower = connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        for (QWidget *w = now; w && w != this; w = w->parentWidget())
            for (Element *element : m_udp.elements())
                if (widget(*element) == w) {
                    if (element != m_udp.focus())
                        takeEdit(*element, [element] { element->SetFocus(); });
                    return;
                }
    });
}

MainWindow::~MainWindow()
{
    // Destroying a shown window moves the focus out of its widgets, and a box that loses the focus reports
    // its text; nothing of the window is left to take either.
    disconnect(m_focusFollower);
    for (QWidget *w : std::as_const(m_widgets)) {
        w->disconnect(this);
        if (auto *list = dynamic_cast<DropDownList *>(w))
            list->dropped = nullptr;
    }
    if (m_udp.observer() == this)
        m_udp.setObserver(nullptr);
}

QWidget *MainWindow::build(Element &element, QWidget *parent)
{
    switch (element.kind()) {
    case Kind::Frame:
        return new FrameBox(Charset::decode(element.Caption()), parent);
    case Kind::Label: {
        auto *label = new QLabel(Charset::decode(element.Caption()), parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    case Kind::Button: {
        auto *button = new CaptionButton(Charset::decode(element.Caption()), parent);
        connect(button, &QPushButton::clicked, this, [this, &element] { clicked(element); });
        return button;
    }
    case Kind::CheckBox:
    case Kind::OptionButton: {
        // Only the box or the mark is shown; the caption is kept as the accessible name.
        QAbstractButton *button = element.kind() == Kind::CheckBox
                                      ? static_cast<QAbstractButton *>(new QCheckBox(parent))
                                      : new QRadioButton(parent);
        button->setAccessibleName(Charset::decode(element.Caption()));
        // The model keeps one option of a group selected; the widgets only show that.
        button->setAutoExclusive(false);
        if (element.kind() == Kind::OptionButton)
            button->installEventFilter(this); // the arrow keys move within the group
        connect(button, &QAbstractButton::clicked, this, [this, &element](bool checked) {
            if (element.kind() == Kind::OptionButton)
                static_cast<OptionButton &>(element).setValue(1);
            else
                static_cast<CheckBox &>(element).setValue(checked ? 1 : 0);
            // The click shows at once, with the other options of the group it cleared.
            flush();
            clicked(element);
        });
        return button;
    }
    case Kind::ComboBox: {
        auto &box = static_cast<ComboBox &>(element);
        if (!box.editable()) {
            auto *list = new DropDownList(parent);
            list->dropped = [this, &box](bool open) { run([&box, open] { box.DropDown(open); }); };
            connect(list, &QComboBox::activated, this, [this, &box](int index) {
                takeEdit(box, [&box, index] { box.setListIndex(index); });
                clicked(box);
            });
            return list;
        }
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // Every change of the edit text, typed or completed from the list, reaches the model: what the box
        // shows is what Connect uses. The model's own changes are drawn with the box's signals blocked.
        connect(combo, &QComboBox::editTextChanged, this, [this, &box](const QString &text) {
            takeEdit(box, [&box, text] { box.setText(Charset::encode(text)); });
        });
        connect(combo, &QComboBox::activated, this,
                [this, &box](int index) { takeEdit(box, [&box, index] { box.setListIndex(index); }); });
        return combo;
    }
    case Kind::TextBox: {
        auto &box = static_cast<TextBox &>(element);
        QWidget *w = nullptr;
        if (box.multiLine()) {
            w = new ReceivePane(
                box, [this, &box] { run([&box] { box.SaveAs(); }); }, parent);
        } else {
            auto *edit = new QLineEdit(parent);
            edit->setReadOnly(box.locked());
            connect(edit, &QLineEdit::textEdited, this, [this, &box, edit](const QString &text) {
                takeEdit(box, [&box, edit, text] {
                    box.setText(Charset::encode(text));
                    box.setSelStart(edit->cursorPosition());
                });
            });
            if (box.hasKeyHandlers()) {
                m_commandLine = edit;
                edit->installEventFilter(this);
            }
            w = edit;
        }
        return w;
    }
    case Kind::Image: {
        auto *image = new QLabel(parent);
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->setPixmap(computerPicture(static_cast<Image &>(element).lit()));
        return image;
    }
    case Kind::Shape:
        return new CircleWidget(parent);
    case Kind::ProgressBar: {
        auto *bar = new TextProgressBar(parent);
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
        QPalette palette = bar->palette();
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::HighlightedText})
            palette.setColor(role, Qt::black);
        bar->setPalette(palette);
        return bar;
    }
    case Kind::Timer: {
        auto &model = static_cast<Timer &>(element);
        m_timers.insert(&element, new ElementTimer(
                                      model, [this, &model] { run([&model] { model.Tick(); }, false); }, this));
        return nullptr;
    }
    }
    return nullptr;
}

void MainWindow::changed(Element &element, Prop prop)
{
    // What the user typed is already shown; drawing it back would move the caret. The focus the user gave is where
    // the user put it: within the pane, that may be its find bar.
    if (&element == m_editing && (prop == Prop::Text || prop == Prop::SelStart || prop == Prop::Focus))
        return;
    // Timers start and stop at once; the pane gathers its own appends.
    const bool now = element.kind() == Kind::Timer ||
                     (element.kind() == Kind::TextBox && static_cast<TextBox &>(element).multiLine());
    if (now) {
        redraw(element, prop);
        return;
    }
    const std::pair change{&element, prop};
    if (std::find(m_dirty.begin(), m_dirty.end(), change) == m_dirty.end())
        m_dirty.push_back(change);
    if (!m_frame->isActive())
        m_frame->start();
}

void MainWindow::flush()
{
    m_frame->stop();
    for (const auto &[element, prop] : std::exchange(m_dirty, {}))
        redraw(*element, prop);
    if (m_statusDirty)
        showStatus();
    for (QWidget *w : std::as_const(m_widgets))
        if (auto *pane = dynamic_cast<ReceivePane *>(w))
            pane->flush();
}

void MainWindow::appended(TextBox &box, const QByteArray &)
{
    if (auto *pane = dynamic_cast<ReceivePane *>(widget(box)))
        pane->appendBytes();
    else
        redraw(box, Prop::Text);
}

void MainWindow::trimmed(TextBox &box, const QByteArray &removed)
{
    if (auto *pane = dynamic_cast<ReceivePane *>(widget(box)))
        pane->trimFront(removed);
}

void MainWindow::statusChanged()
{
    // The byte counts change with every datagram: the line is redrawn with the next frame, not for each.
    m_statusDirty = true;
    if (!m_frame->isActive())
        m_frame->start();
}

void MainWindow::commandsChanged()
{
    m_panel->refresh();
    const bool shown = m_udp.commandPanelShown();
    if (m_panel->isVisibleTo(this) == shown)
        return;
    m_panel->setVisible(shown);
    // The panel comes beside what is laid out: the window widens by it, unless it fills the screen.
    const int width = this->width() + (shown ? CommandPanel::kWidth : -CommandPanel::kWidth);
    setMinimumSize(kMinimumSize + QSize(shown ? CommandPanel::kWidth : 0, 0));
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        resize(width, height());
    placeGrowing();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F12 && event->modifiers() == Qt::NoModifier) {
        const int index = event->key() - Qt::Key_F1;
        run([this, index] { m_udp.SavedCommand_Click(index); });
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::showStatus()
{
    m_statusDirty = false;
    m_status->setText(m_udp.statusText());
    m_stayClosed->setEnabled(m_udp.waitingForDevice());
    if (!m_udp.awaitingReply())
        m_silence->stop();
    else if (!m_silence->isActive())
        m_silence->start();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeGrowing();
}

void MainWindow::placeGrowing()
{
    // The side panel, when shown, takes the right of the window; the rest grows in what is left.
    const int panel = m_panel->isVisibleTo(this) ? CommandPanel::kWidth : 0;
    const int width = this->width() - panel;
    m_panel->setGeometry(width, 0, panel, height() - kStatusHeight);
    const int dx = width - kClientSize.width();
    const int dy = height() - kStatusHeight - kClientSize.height();
    // The pane is laid out 3 pixels wider than the client area; here it ends at the window's right edge.
    const QRect pane = m_udp.tbReceiveData.geometry();
    widget(m_udp.tbReceiveData)->setGeometry(pane.x(), pane.y(), width - pane.x(), pane.height() + dy);
    widget(m_udp.tbSendData)->setGeometry(m_udp.tbSendData.geometry().translated(0, dy).adjusted(0, 0, dx, 0));
    for (const Element *button : {&m_udp.Command15, &m_udp.Command16})
        widget(*button)->setGeometry(button->geometry().translated(dx, dy));
    m_status->setGeometry(0, height() - kStatusHeight, this->width(), kStatusHeight);
}

void MainWindow::redraw(Element &element, Prop prop)
{
    if (QTimer *timer = m_timers.value(&element)) {
        auto *elementTimer = static_cast<ElementTimer *>(timer);
        if (prop == Prop::Interval)
            elementTimer->setIntervalMs(static_cast<Timer &>(element).Interval());
        // Enabled again, or disabled and enabled, restarts the count: the next tick comes a full interval later.
        if (prop == Prop::Enabled)
            elementTimer->setRunning(element.Enabled());
        return;
    }
    QWidget *w = widget(element);
    if (!w)
        return;
    switch (prop) {
    case Prop::Enabled:
        w->setEnabled(element.Enabled());
        return;
    case Prop::Visible:
        w->setVisible(element.Visible());
        return;
    case Prop::Focus:
        w->setFocus(Qt::OtherFocusReason);
        return;
    case Prop::ToolTip:
        w->setToolTip(Charset::decode(element.ToolTipText()));
        return;
    case Prop::Caption:
        if (auto *frame = qobject_cast<QGroupBox *>(w))
            frame->setTitle(Charset::decode(element.Caption()));
        else if (auto *label = qobject_cast<QLabel *>(w))
            label->setText(Charset::decode(element.Caption()));
        else if (auto *check = qobject_cast<QAbstractButton *>(w); check && element.kind() != Kind::Button)
            check->setAccessibleName(Charset::decode(element.Caption()));
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            button->setText(Charset::decode(element.Caption()));
        return;
    default:
        break;
    }

    switch (element.kind()) {
    case Kind::TextBox: {
        auto &box = static_cast<TextBox &>(element);
        if (auto *pane = dynamic_cast<ReceivePane *>(w)) {
            if (prop == Prop::Text)
                pane->setBytes();
            else if (prop == Prop::SelStart && box.SelStart() >= box.Text().size() && m_byUser)
                pane->scrollToEnd(); // the user's own command: show its echo. Arrivals follow only at the bottom.
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            if (prop == Prop::Text)
                edit->setText(Charset::decode(box.Text()));
            if (prop == Prop::Text || prop == Prop::SelStart || prop == Prop::SelLength) {
                if (box.SelLength() > 0)
                    edit->setSelection(box.SelStart(), box.SelLength());
                else
                    edit->setCursorPosition(box.SelStart());
            }
        }
        if (prop == Prop::BackColor) {
            QPalette palette = w->palette();
            palette.setColor(QPalette::Base, colour(box.BackColor(), w, QPalette::Base));
            w->setPalette(palette);
        }
        return;
    }
    case Kind::CheckBox:
    case Kind::OptionButton:
        if (prop == Prop::Value) {
            const qint16 value = static_cast<CheckBox &>(element).Value();
            if (auto *check = qobject_cast<QCheckBox *>(w)) {
                check->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
            } else {
                static_cast<QAbstractButton *>(w)->setChecked(value != 0);
                // A group of options is one Tab stop, at the selected one; the arrow keys move within it.
                w->setFocusPolicy(value != 0 ? Qt::StrongFocus : Qt::ClickFocus);
            }
        }
        return;
    case Kind::ComboBox: {
        auto &box = static_cast<ComboBox &>(element);
        auto *combo = static_cast<QComboBox *>(w);
        const QSignalBlocker blocker(combo);
        if (prop == Prop::Items) {
            combo->clear();
            for (const QByteArray &item : box.items())
                combo->addItem(Charset::decode(item));
        }
        if (prop == Prop::Items || prop == Prop::Text) {
            combo->setCurrentIndex(box.ListIndex());
            combo->setEditText(Charset::decode(box.Text()));
        }
        return;
    }
    case Kind::Shape:
        if (prop == Prop::FillColor)
            static_cast<CircleWidget *>(w)->setFill(QColor::fromRgb(QRgb(static_cast<Shape &>(element).FillColor())));
        return;
    case Kind::ProgressBar: {
        auto &progress = static_cast<ProgressBar &>(element);
        auto *bar = static_cast<TextProgressBar *>(w);
        if (prop == Prop::Text) {
            bar->setCaption(Charset::decode(progress.Text()));
        } else if (prop == Prop::Value || prop == Prop::Max) {
            // The last block leaves Value one above Max; it is shown as full, and the model keeps its Value.
            bar->setProgress(progress.Value(), progress.Max());
        }
        return;
    }
    default:
        return;
    }
}

void MainWindow::clicked(Element &element)
{
    if (element.hasClickHandler())
        run([&element] { element.Click(); });
}

void MainWindow::takeEdit(Element &element, const std::function<void()> &write)
{
    m_editing = &element;
    write();
    m_editing = nullptr;
    flush(); // what the edit changed elsewhere (the other options of a group) shows at once
}

void MainWindow::run(const std::function<void()> &handler, bool byUser)
{
    m_byUser = byUser;
    // A failure that no handler catches must not unwind through the event loop; the handler just ends.
    try {
        handler();
    } catch (const Failure &failure) {
        qWarning("Unhandled failure %d: %s", failure.number(), qPrintable(failure.description()));
    } catch (const std::exception &error) {
        qWarning("Unhandled error: %s", error.what());
    }
    m_byUser = false;
    if (byUser)
        flush();
}

bool MainWindow::optionKey(Element &option, QKeyEvent *event)
{
    int step = 0;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up)
        step = -1;
    else if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down)
        step = 1;
    if (step == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    std::vector<Element *> group;
    for (Element *e : m_udp.elements())
        if (e->kind() == Kind::OptionButton && e->container() == option.container())
            group.push_back(e);
    const auto at = std::find(group.begin(), group.end(), &option) - group.begin();
    const auto next = (at + step + qsizetype(group.size())) % qsizetype(group.size());
    // As in any group of options, the arrow selects the option it moves to.
    auto *button = static_cast<QAbstractButton *>(widget(*group[size_t(next)]));
    if (button->isEnabled()) {
        button->setFocus(Qt::TabFocusReason);
        if (!button->isChecked())
            button->click();
    }
    return true;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The tip is brought up to date before it shows: the handler's change is drawn at once.
    if (event->type() == QEvent::ToolTip)
        for (Element *e : m_udp.elements())
            if (e->hasHoverHandler() && widget(*e) == watched)
                run([e] { e->Hover(); });
    if (event->type() == QEvent::KeyPress && watched != m_commandLine)
        for (Element *e : m_udp.elements())
            if (e->kind() == Kind::OptionButton && widget(*e) == watched)
                return optionKey(*e, static_cast<QKeyEvent *>(event));
    if (watched == m_commandLine && event->type() == QEvent::KeyPress)
        return commandLineKey(static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::commandLineKey(QKeyEvent *event)
{
    TextBox &box = m_udp.tbSendData;
    const QByteArray typed = Charset::encode(m_commandLine->text());
    const bool selected = m_commandLine->hasSelectedText();
    const int start = selected ? m_commandLine->selectionStart() : m_commandLine->cursorPosition();
    const int length = selected ? int(m_commandLine->selectedText().size()) : 0;
    if (typed != box.Text() || box.SelStart() != start || box.SelLength() != length)
        takeEdit(box, [&] {
            if (typed != box.Text())
                box.setText(typed);
            box.setSelStart(start);
            box.setSelLength(length);
        });
    // A text the terminal put there goes with the first key that types, wherever the caret stands.
    if (box.Provisional() && typesText(event)) {
        takeEdit(box, [&box] { box.setText({}); });
        m_commandLine->clear();
    }

    if (qint16 keyCode = virtualKey(event->key())) {
        run([&] { box.KeyDown(keyCode, shiftMask(event->modifiers())); });
        if (keyCode == 0)
            return true; // swallowed: no caret move, no beep
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        qint16 keyAscii = 13;
        run([&] { box.KeyPress(keyAscii); });
        return true; // a single-line box has no use for the line break
    }
    const QString text = event->text();
    if (text.size() == 1 && (text[0].isPrint() || text[0] == QLatin1Char('\b') || text[0] == QChar(27))) {
        qint16 keyAscii = qint16(uchar(Charset::encode(text).at(0)));
        run([&] { box.KeyPress(keyAscii); });
        if (keyAscii == 0)
            return true;
    }
    return false;
}

void MainWindow::openMonitor()
{
    if (!m_monitor) {
        m_monitor = new MonitorWindow(
            m_udp.monitor,
            [this](const Monitor::Filter &filter) { run([this, filter] { m_udp.monitorSaveAs(filter); }); }, this);
        m_monitor->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    run([this] { m_udp.Form_Unload(); });
    event->accept();
}
