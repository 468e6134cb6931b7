// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <functional>

/// The 32 x 32 link indicator: a computer whose screen is lit blue (the link is alive) or dark.
QPixmap computerPicture(bool lit);

/// The round indicator: a circle filled with one colour.
class CircleWidget : public QWidget
{
public:
    explicit CircleWidget(QWidget *parent = nullptr) : QWidget(parent) {}
    QColor fill() const { return m_fill; }
    void setFill(const QColor &fill);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};

/// A progress bar that shows a short text of its own in its middle, exactly as given.
/// QProgressBar::setValue repaints at once on most steps, which a transfer of 50,000 blocks feels; this
/// bar keeps its own value and repaints with the next frame.
class TextProgressBar : public QProgressBar
{
public:
    explicit TextProgressBar(QWidget *parent = nullptr) : QProgressBar(parent) {}
    void setCaption(const QString &caption);
    /// The caption; the bar's format placeholders (%p, %v, %m) play no part.
    QString text() const override { return m_caption; }
    /// A value above `max` is shown full; `max` below 1 counts as 1.
    void setProgress(int value, int max);
    int shownValue() const { return m_value; }
    int shownMax() const { return m_max; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    int m_value = 0;
    int m_max = 100;
};

/// A push button whose caption is centred on the whole button, so that captions of small buttons (13 x 13
/// pixels) are not cut off by the style's margins.
class CaptionButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};

/// A group box whose caption sits on its top border, with the children placed from the box's top edge.
class FrameBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;
};

/// The status line under the command line: one line of the model's text, cut at the right with an ellipsis when
/// the window is too narrow for it; the whole text is then its tool tip.
class StatusLine : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text)
public:
    explicit StatusLine(QWidget *parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    /// The tool tip holds the text only while the line cannot show all of it.
    void updateToolTip();

    QString m_text;
};

/// A list to pick from, that tells as it drops down (before it shows, so that it can be brought up to date) and as
/// it closes. Its list is as wide as its entries, however narrow the box.
class DropDownList : public QComboBox
{
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;
    std::function<void(bool open)> dropped;

private:
    bool m_open = false;
};
