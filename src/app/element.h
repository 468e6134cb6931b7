// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

#include <functional>
#include <vector>

class Element;
class Frame;
class TextBox;

/// What changed on an element; the view redraws just that.
enum class Prop {
    Text,
    Caption,
    Enabled,
    Visible,
    Value,
    SelStart,
    SelLength,
    FillColor,
    BackColor,
    Items,
    Max,
    Focus,
    ToolTip,
    Interval
};

/// The view: told of every change of the model, one property at a time.
class ElementObserver
{
public:
    virtual ~ElementObserver() = default;
    virtual void changed(Element &element, Prop prop) = 0;
    /// The pane gained `bytes` at its end; nothing before them changed.
    virtual void appended(TextBox &box, const QByteArray &bytes) = 0;
    /// The pane lost `removed` at its start (its oldest text, up to a line start); nothing after it changed.
    /// An observer that shows no pane has nothing to do.
    virtual void trimmed(TextBox &, const QByteArray &) {}
    /// Something the status line shows changed (the link, a refusal, the byte counts).
    virtual void statusChanged() {}
    /// The saved command lists, the list shown, the side panel shown or hidden, or the command repeating changed.
    virtual void commandsChanged() {}
};

enum class Kind { Label, TextBox, Button, CheckBox, OptionButton, ComboBox, Frame, Image, Shape, ProgressBar, Timer };
enum class Font { Default, Pane, SansBold, Sans };
enum Start { Shown = 0, Hidden = 1, Disabled = 2 };

/// Colours are 0xRRGGBB.
namespace Colour
{
constexpr quint32 Yellow = 0xFFFF00, Green = 0x00FF00, SendGreen = 0x00C000, Red = 0xFF0000, White = 0xFFFFFF,
                  Grey = 0x808080, WindowBackground = 0xFFFFFE, Black = 0x000000;
}

/// Holds the elements of one window in declaration order (the element table) and its focus.
class Form
{
public:
    Form() = default;
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;
    virtual ~Form() = default;

    const std::vector<Element *> &elements() const { return m_elements; }
    Element *find(const QByteArray &name) const;
    void setObserver(ElementObserver *observer) { m_observer = observer; }
    ElementObserver *observer() const { return m_observer; }

    /// The element that has the input focus (names it, as the window would).
    Element *focus() const { return m_focus; }
    void setFocus(Element &element);

private:
    friend class Element;
    std::vector<Element *> m_elements;
    ElementObserver *m_observer = nullptr;
    Element *m_focus = nullptr;
};

/// One element of the window: its name, kind, geometry, container and the properties the handlers use.
class Element
{
public:
    Element(Form *form, const char *name, Kind kind, QByteArray caption, QRect geometry, Frame *container, int start);
    Element(const Element &) = delete;
    Element &operator=(const Element &) = delete;
    virtual ~Element() = default;

    const QByteArray &name() const { return m_name; }
    Kind kind() const { return m_kind; }
    QRect geometry() const { return m_geometry; }
    Frame *container() const { return m_container; }
    Font font() const { return m_font; }
    void setFont(Font font) { m_font = font; }

    const QByteArray &Caption() const { return m_caption; }
    void setCaption(const QByteArray &caption);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool Visible() const { return m_visible; }
    void setVisible(bool visible);
    void SetFocus() { m_form->setFocus(*this); }
    /// What the element does, in plain words, shown when the pointer rests on it.
    const QByteArray &ToolTipText() const { return m_toolTip; }
    void setToolTipText(const QByteArray &tip);

    /// The handler a click on the element calls; the model wires it, the view only forwards the click.
    void setClickHandler(std::function<void()> handler) { m_click = std::move(handler); }
    bool hasClickHandler() const { return bool(m_click); }
    void Click()
    {
        if (m_click)
            m_click();
    }

    /// The handler run when the pointer comes to rest on the element, just before its tool tip shows.
    void setHoverHandler(std::function<void()> handler) { m_hover = std::move(handler); }
    bool hasHoverHandler() const { return bool(m_hover); }
    void Hover()
    {
        if (m_hover)
            m_hover();
    }

protected:
    void notify(Prop prop);
    Form *m_form;

private:
    QByteArray m_name;
    Kind m_kind;
    QByteArray m_caption;
    QByteArray m_toolTip;
    QRect m_geometry;
    Frame *m_container;
    Font m_font = Font::Default;
    bool m_enabled = true;
    bool m_visible = true;
    std::function<void()> m_click;
    std::function<void()> m_hover;
};

class Label : public Element
{
public:
    Label(Form *f, const char *name, QByteArray caption, QRect g, Frame *in, int start = Shown)
        : Element(f, name, Kind::Label, std::move(caption), g, in, start)
    {
    }
};

class Button : public Element
{
public:
    Button(Form *f, const char *name, QByteArray caption, QRect g, Frame *in, int start = Shown)
        : Element(f, name, Kind::Button, std::move(caption), g, in, start)
    {
    }
};

class Frame : public Element
{
public:
    Frame(Form *f, const char *name, QByteArray caption, QRect g, int start = Shown)
        : Element(f, name, Kind::Frame, std::move(caption), g, nullptr, start)
    {
    }
};

class Image : public Element
{
public:
    /// `lit`: the computer's screen is lit (the link is alive).
    Image(Form *f, const char *name, bool lit, QRect g, Frame *in, int start = Shown)
        : Element(f, name, Kind::Image, {}, g, in, start), m_lit(lit)
    {
    }
    bool lit() const { return m_lit; }

private:
    bool m_lit;
};

/// Text box or text pane. Text is 8-bit; `append` costs only the appended bytes.
class TextBox : public Element
{
public:
    /// A chunk received from the device, or a line the terminal sent: where it starts in Text(), and when it came
    /// or went (the platform clock).
    struct Arrival {
        qsizetype offset;
        qint64 ms;
        bool sent = false;
    };

    TextBox(Form *f, const char *name, QByteArray text, QRect g, Frame *in, int start = Shown, bool multiLine = false,
            bool locked = false);
    const QByteArray &Text() const { return m_text; }
    void setText(const QByteArray &text);
    void append(const QByteArray &bytes);
    /// Appends bytes received from the device at `ms`; echoes and messages go through append(). Only the first
    /// chunk that begins on a line is kept as an arrival: its time is the one the line is shown with, and a device
    /// that sends a byte at a time then costs one arrival a line, not one a byte.
    void appendReceived(const QByteArray &bytes, qint64 ms);
    /// Appends the echo of a line the terminal sent at `ms`, kept as an arrival marked as sent.
    void appendSent(const QByteArray &bytes, qint64 ms);
    /// The kept arrivals, in the order of their offsets; trimmed with the text, emptied by setText.
    const QList<Arrival> &arrivals() const { return m_arrivals; }
    /// The caret, or the start of the selection.
    qint32 SelStart() const { return m_selStart; }
    /// Moves the caret; nothing is selected afterwards.
    void setSelStart(qint32 pos);
    /// The selected characters from SelStart on; what is typed replaces them.
    qint32 SelLength() const { return m_selLength; }
    void setSelLength(qint32 length);
    /// Puts the caret at the end, so that the newest text is in view.
    void caretToEnd() { setSelStart(qint32(m_text.size())); }
    /// The text was put there by the terminal (a hint, the last command a transfer sent), not typed: the first key
    /// the user types replaces the whole of it, wherever the caret stands. Any new text ends it.
    bool Provisional() const { return m_provisional; }
    void setProvisional(bool provisional) { m_provisional = provisional; }
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 colour);
    bool multiLine() const { return m_multiLine; }
    bool locked() const { return m_locked; }
    /// Keeps the most recent text only: past `bytes` the oldest text goes, from a line start on, down to fifteen
    /// sixteenths of the limit. Small cuts keep the scroll-back and a view's copy of the text near one size, so
    /// that a full pane under steady traffic holds its memory steady. 0: no limit.
    void setMaxBytes(qsizetype bytes) { m_maxBytes = bytes; }
    qsizetype maxBytes() const { return m_maxBytes; }

    /// Key handlers: a key code or character the handler sets to 0 is swallowed.
    using KeyDownHandler = std::function<void(qint16 &KeyCode, qint16 Shift)>;
    using KeyPressHandler = std::function<void(qint16 &KeyAscii)>;
    void setKeyHandlers(KeyDownHandler keyDown, KeyPressHandler keyPress);
    bool hasKeyHandlers() const { return bool(m_keyDown); }
    void KeyDown(qint16 &KeyCode, qint16 Shift);
    void KeyPress(qint16 &KeyAscii);
    /// Runs whenever the text changes, whoever changed it.
    void setChangeHandler(std::function<void()> handler) { m_change = std::move(handler); }
    /// The handler that saves the pane's text to a file the user chooses.
    void setSaveAsHandler(std::function<void()> handler) { m_saveAs = std::move(handler); }
    bool hasSaveAsHandler() const { return bool(m_saveAs); }
    void SaveAs()
    {
        if (m_saveAs)
            m_saveAs();
    }

private:
    /// How many of the oldest bytes go so that the text keeps within its limit; 0 while it does.
    qsizetype overLimit() const;
    void appendStamped(const QByteArray &bytes, qint64 ms, bool sent);

    QByteArray m_text;
    QList<Arrival> m_arrivals;
    qsizetype m_lineStart = 0; // where the last line of the text starts
    qsizetype m_maxBytes = 0;
    qint32 m_selStart = 0;
    qint32 m_selLength = 0;
    quint32 m_backColor = Colour::White;
    bool m_multiLine;
    bool m_locked;
    bool m_provisional = false;
    KeyDownHandler m_keyDown;
    KeyPressHandler m_keyPress;
    std::function<void()> m_change;
    std::function<void()> m_saveAs;
};

/// Check box or option button: Value 0 or 1 (one option of a container's group is 1).
class CheckBox : public Element
{
public:
    CheckBox(Form *f, const char *name, QByteArray caption, QRect g, Frame *in, int start = Shown,
             Kind kind = Kind::CheckBox)
        : Element(f, name, kind, std::move(caption), g, in, start)
    {
    }
    qint16 Value() const { return m_value; }
    void setValue(qint16 value);
    /// Runs whenever the Value changes, whoever changed it.
    void setChangeHandler(std::function<void()> handler) { m_change = std::move(handler); }

private:
    qint16 m_value = 0;
    std::function<void()> m_change;
};

class OptionButton : public CheckBox
{
public:
    OptionButton(Form *f, const char *name, QByteArray caption, QRect g, Frame *in)
        : CheckBox(f, name, std::move(caption), g, in, Shown, Kind::OptionButton)
    {
    }
    /// Selecting one option clears the others of its container.
    void setValue(qint16 value);
};

/// Editable text with a drop-down list, or the drop-down list alone. Text is the edit text.
class ComboBox : public Element
{
public:
    ComboBox(Form *f, const char *name, QRect g, Frame *in, bool editable = true)
        : Element(f, name, Kind::ComboBox, {}, g, in, Shown), m_editable(editable)
    {
    }
    /// false: a list to pick from, with no text of its own to type.
    bool editable() const { return m_editable; }
    /// The handler run as the list drops down (true), before it shows, and as it closes again (false).
    void setDropDownHandler(std::function<void(bool open)> handler) { m_dropDown = std::move(handler); }
    void DropDown(bool open)
    {
        if (m_dropDown)
            m_dropDown(open);
    }
    const QList<QByteArray> &items() const { return m_items; }
    int ListCount() const { return int(m_items.size()); }
    /// Inserts the entry before position `index`; at the end when `index` is -1 or beyond it.
    void AddItem(const QByteArray &item, int index = -1);
    void RemoveItem(int index);
    void Clear();
    /// All the entries at once, nothing selected; the view is told only when they differ from the entries held.
    void setItems(const QList<QByteArray> &items);
    /// Index of the selected entry, -1 when none is (the edit text matches no entry).
    int ListIndex() const { return m_listIndex; }
    void setListIndex(int index);
    const QByteArray &Text() const { return m_text; }
    void setText(const QByteArray &text);

private:
    QList<QByteArray> m_items;
    QByteArray m_text;
    int m_listIndex = -1;
    bool m_editable;
    std::function<void(bool)> m_dropDown;
};

/// A filled shape (the round indicator).
class Shape : public Element
{
public:
    Shape(Form *f, const char *name, quint32 fill, QRect g, Frame *in, int start = Shown)
        : Element(f, name, Kind::Shape, {}, g, in, start), m_fill(fill)
    {
    }
    quint32 FillColor() const { return m_fill; }
    void setFillColor(quint32 colour);

private:
    quint32 m_fill;
};

/// Progress bar that also shows a short text.
class ProgressBar : public Element
{
public:
    ProgressBar(Form *f, const char *name, QByteArray text, QRect g, Frame *in)
        : Element(f, name, Kind::ProgressBar, {}, g, in, Shown), m_text(std::move(text))
    {
    }
    const QByteArray &Text() const { return m_text; }
    void setText(const QByteArray &text);
    qint32 Value() const { return m_value; }
    void setValue(qint32 value);
    qint32 Max() const { return m_max; }
    void setMax(qint32 max);

private:
    QByteArray m_text;
    qint32 m_value = 0;
    qint32 m_max = 100;
};

/// The view runs a real timer while Enabled and calls the tick handler on each tick.
class Timer : public Element
{
public:
    Timer(Form *f, const char *name, int intervalMs)
        : Element(f, name, Kind::Timer, {}, {}, nullptr, Disabled), m_interval(intervalMs)
    {
    }
    int Interval() const { return m_interval; }
    /// The next tick comes a full new interval after the change.
    void setInterval(int ms)
    {
        m_interval = ms;
        notify(Prop::Interval);
    }
    /// The handler each tick calls while the timer is enabled.
    void setTickHandler(std::function<void()> handler) { m_tick = std::move(handler); }
    bool hasTickHandler() const { return bool(m_tick); }
    void Tick()
    {
        if (m_tick)
            m_tick();
    }

private:
    int m_interval;
    std::function<void()> m_tick;
};
