// SPDX-License-Identifier: MIT
#include "widgets.h"

#include <QAbstractItemView>
#include <QLinearGradient>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <utility>

QPixmap computerPicture(bool lit)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // Monitor case with the screen set into it.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0xC8, 0xC8, 0xC0));
    p.drawRoundedRect(QRectF(3.5, 2.5, 25, 20), 2, 2);
    const QRectF screen(6.5, 5.5, 19, 14);
    QLinearGradient glass(screen.topLeft(), screen.bottomRight());
    if (lit) {
        glass.setColorAt(0, QColor(0x9C, 0xD4, 0xFF));
        glass.setColorAt(1, QColor(0x10, 0x50, 0xE0));
    } else {
        glass.setColorAt(0, QColor(0x48, 0x50, 0x58));
        glass.setColorAt(1, QColor(0x10, 0x14, 0x18));
    }
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(glass);
    p.drawRect(screen);

    // Stand and keyboard.
    p.setBrush(QColor(0xA8, 0xA8, 0xA0));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.drawRect(QRectF(13.5, 22.5, 5, 3));
    p.drawRoundedRect(QRectF(2.5, 25.5, 27, 5), 1.5, 1.5);
    p.setPen(QPen(QColor(0x70, 0x70, 0x68), 1));
    for (int x = 5; x < 29; x += 3)
        p.drawPoint(QPointF(x + 0.5, 28));
    return picture;
}

void CircleWidget::setFill(const QColor &fill)
{
    m_fill = fill;
    update();
}

void CircleWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = qMin(width(), height()) - 1;
    const QRectF circle((width() - d) / 2, (height() - d) / 2, d, d);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_fill);
    p.drawEllipse(circle);
}

void TextProgressBar::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void TextProgressBar::setProgress(int value, int max)
{
    m_max = qMax(1, max);
    m_value = qBound(0, value, m_max);
    update();
}

void TextProgressBar::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.minimum = 0;
    option.maximum = m_max;
    option.progress = m_value;
    option.text = m_caption;
    option.textVisible = true;
    p.drawControl(QStyle::CE_ProgressBar, option);
}

void CaptionButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextDontClip, text());
}

void FrameBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics metrics(font());
    const QRect border = rect().adjusted(0, metrics.height() / 2, -1, -1);
    // An etched line: a dark one with a light one beside it.
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(border.adjusted(1, 1, 0, 0));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(border.adjusted(0, 0, -1, -1));
    if (title().isEmpty())
        return;
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    p.fillRect(caption, palette().window());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(caption, Qt::AlignCenter, title());
}

StatusLine::StatusLine(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
}

void StatusLine::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateToolTip();
    update();
}

void StatusLine::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect area = contentsRect().adjusted(4, 0, -4, 0);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(m_text, Qt::ElideRight, area.width()));
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    updateToolTip();
}

void StatusLine::updateToolTip()
{
    const bool cut = fontMetrics().horizontalAdvance(m_text) > contentsRect().width() - 8;
    setToolTip(cut ? m_text : QString());
}

void DropDownList::showPopup()
{
    m_open = true;
    if (dropped)
        dropped(true);
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 8);
    QComboBox::showPopup();
}

void DropDownList::hidePopup()
{
    QComboBox::hidePopup();
    // Hidden with the window too, when nothing had dropped down.
    if (std::exchange(m_open, false) && dropped)
        dropped(false);
}
