// SPDX-License-Identifier: MIT
#include "element.h"

#include <algorithm>

namespace
{
/// The first line start at `from` or after it: just past a LF, or past a CR that no LF follows. A CR at the
/// very end is not taken, since its LF may come with the next append. `from` itself when no line starts after it
/// (one line longer than what is kept).
qsizetype lineStartFrom(const QByteArray &text, qsizetype from)
{
    const qsizetype size = text.size();
    for (qsizetype i = qMax<qsizetype>(from - 1, 0); i < size; ++i) {
        const char c = text[i];
        if (c == '\n')
            return i + 1;
        if (c == '\r' && i + 1 < size && text[i + 1] != '\n')
            return i + 1;
    }
    return from;
}

/// Just past the last line break in text[from, end), or `fallback` when there is none there.
qsizetype lastLineStart(const QByteArray &text, qsizetype from, qsizetype fallback)
{
    for (qsizetype i = text.size() - 1; i >= from; --i)
        if (text[i] == '\n' || text[i] == '\r')
            return i + 1;
    return fallback;
}
} // namespace

Element *Form::find(const QByteArray &name) const
{
    for (Element *e : m_elements)
        if (e->name() == name)
            return e;
    return nullptr;
}

void Form::setFocus(Element &element)
{
    m_focus = &element;
    if (m_observer)
        m_observer->changed(element, Prop::Focus);
}

Element::Element(Form *form, const char *name, Kind kind, QByteArray caption, QRect geometry, Frame *container,
                 int start)
    : m_form(form), m_name(name), m_kind(kind), m_caption(std::move(caption)), m_geometry(geometry),
      m_container(container), m_enabled(!(start & Disabled)), m_visible(!(start & Hidden))
{
    form->m_elements.push_back(this);
}

void Element::notify(Prop prop)
{
    if (m_form->m_observer)
        m_form->m_observer->changed(*this, prop);
}

void Element::setCaption(const QByteArray &caption)
{
    m_caption = caption;
    notify(Prop::Caption);
}

void Element::setEnabled(bool enabled)
{
    m_enabled = enabled;
    notify(Prop::Enabled);
}

void Element::setVisible(bool visible)
{
    // Every datagram shows the link as alive: only a change is worth telling the view.
    if (visible == m_visible)
        return;
    m_visible = visible;
    notify(Prop::Visible);
}

TextBox::TextBox(Form *f, const char *name, QByteArray text, QRect g, Frame *in, int start, bool multiLine, bool locked)
    : Element(f, name, Kind::TextBox, {}, g, in, start), m_text(std::move(text)), m_multiLine(multiLine),
      m_locked(locked)
{
}

void TextBox::setText(const QByteArray &text)
{
    const bool changed = text != m_text;
    m_text = text;
    m_provisional = false;
    m_text.remove(0, overLimit());
    m_arrivals.clear();
    m_lineStart = lastLineStart(m_text, 0, 0);
    // A new text puts the caret at its start, with nothing selected, as a text box does.
    m_selStart = 0;
    m_selLength = 0;
    notify(Prop::Text);
    if (changed && m_change)
        m_change();
}

void Element::setToolTipText(const QByteArray &tip)
{
    m_toolTip = tip;
    notify(Prop::ToolTip);
}

void TextBox::setKeyHandlers(KeyDownHandler keyDown, KeyPressHandler keyPress)
{
    m_keyDown = std::move(keyDown);
    m_keyPress = std::move(keyPress);
}

void TextBox::KeyDown(qint16 &KeyCode, qint16 Shift)
{
    if (m_keyDown)
        m_keyDown(KeyCode, Shift);
}

void TextBox::KeyPress(qint16 &KeyAscii)
{
    if (m_keyPress)
        m_keyPress(KeyAscii);
}

qsizetype TextBox::overLimit() const
{
    if (m_maxBytes <= 0 || m_text.size() <= m_maxBytes)
        return 0;
    return lineStartFrom(m_text, m_text.size() - m_maxBytes / 16 * 15);
}

void TextBox::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_text.append(bytes);
    m_lineStart = lastLineStart(m_text, m_text.size() - bytes.size(), m_lineStart);
    ElementObserver *o = m_form->observer();
    if (o)
        o->appended(*this, bytes);
    if (const qsizetype cut = overLimit()) {
        const QByteArray removed = m_text.first(cut);
        m_text.remove(0, cut);
        m_selStart = qMax<qint32>(0, m_selStart - qint32(cut));
        m_selLength = 0;
        m_lineStart = qMax<qsizetype>(0, m_lineStart - cut);
        const auto kept = std::find_if(m_arrivals.cbegin(), m_arrivals.cend(),
                                       [cut](const Arrival &arrival) { return arrival.offset >= cut; });
        m_arrivals.erase(m_arrivals.cbegin(), kept);
        for (Arrival &arrival : m_arrivals)
            arrival.offset -= cut;
        if (o)
            o->trimmed(*this, removed);
    }
    if (m_change)
        m_change();
}

void TextBox::appendReceived(const QByteArray &bytes, qint64 ms)
{
    appendStamped(bytes, ms, false);
}

void TextBox::appendSent(const QByteArray &bytes, qint64 ms)
{
    appendStamped(bytes, ms, true);
}

void TextBox::appendStamped(const QByteArray &bytes, qint64 ms, bool sent)
{
    // The LF of a CR LF split between two chunks ends the line before: the chunk begins after it.
    qsizetype start = m_text.size();
    if (m_text.endsWith('\r') && bytes.startsWith('\n'))
        ++start;
    // A chunk that only ends a line, or that begins on a line an earlier chunk began, adds nothing to be shown.
    const bool lineHasOne = !m_arrivals.isEmpty() && m_arrivals.constLast().offset >= m_lineStart;
    if (start < m_text.size() + bytes.size() && !lineHasOne)
        m_arrivals.append({start, ms, sent});
    append(bytes);
}

void TextBox::setSelStart(qint32 pos)
{
    m_selStart = qBound<qint32>(0, pos, qint32(m_text.size()));
    m_selLength = 0;
    notify(Prop::SelStart);
}

void TextBox::setSelLength(qint32 length)
{
    m_selLength = qBound<qint32>(0, length, qint32(m_text.size()) - m_selStart);
    notify(Prop::SelLength);
}

void TextBox::setBackColor(quint32 colour)
{
    m_backColor = colour;
    notify(Prop::BackColor);
}

void CheckBox::setValue(qint16 value)
{
    const bool changed = value != m_value;
    m_value = value;
    notify(Prop::Value);
    if (changed && m_change)
        m_change();
}

void OptionButton::setValue(qint16 value)
{
    if (value) {
        for (Element *e : m_form->elements())
            if (e != this && e->kind() == Kind::OptionButton && e->container() == container())
                static_cast<OptionButton *>(e)->CheckBox::setValue(0);
    }
    CheckBox::setValue(value ? 1 : 0);
}

void ComboBox::AddItem(const QByteArray &item, int index)
{
    if (index < 0 || index > m_items.size())
        index = int(m_items.size());
    m_items.insert(index, item);
    if (m_listIndex >= index)
        ++m_listIndex;
    notify(Prop::Items);
}

void ComboBox::RemoveItem(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    m_items.removeAt(index);
    if (m_listIndex == index)
        m_listIndex = -1;
    else if (m_listIndex > index)
        --m_listIndex;
    notify(Prop::Items);
}

void ComboBox::Clear()
{
    m_items.clear();
    m_listIndex = -1;
    notify(Prop::Items);
}

void ComboBox::setItems(const QList<QByteArray> &items)
{
    if (items == m_items)
        return;
    m_items = items;
    m_listIndex = -1;
    notify(Prop::Items);
}

void ComboBox::setListIndex(int index)
{
    if (index < 0 || index >= m_items.size()) {
        m_listIndex = -1;
    } else {
        m_listIndex = index;
        m_text = m_items.at(index);
    }
    notify(Prop::Text);
}

void ComboBox::setText(const QByteArray &text)
{
    m_text = text;
    m_listIndex = int(m_items.indexOf(text));
    notify(Prop::Text);
}

void Shape::setFillColor(quint32 colour)
{
    m_fill = colour;
    notify(Prop::FillColor);
}

void ProgressBar::setText(const QByteArray &text)
{
    m_text = text;
    notify(Prop::Text);
}

void ProgressBar::setValue(qint32 value)
{
    m_value = value;
    notify(Prop::Value);
}

void ProgressBar::setMax(qint32 max)
{
    m_max = max;
    notify(Prop::Max);
}
