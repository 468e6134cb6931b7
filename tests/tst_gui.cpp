// SPDX-License-Identifier: MIT
// The real window over the model on fakes: every widget against its element, keys in the command line, the
// receive pane's line breaks and scrolling, and a screenshot.
#include "harness.h"

#include "app/charset.h"
#include "gui/demo.h"
#include "gui/mainwindow.h"
#include "gui/receivepane.h"
#include "gui/widgets.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestGui : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void window();
    void elements_data();
    void elements();
    void commandLine();
    void caseButtons();
    void paneLineBreaks_data();
    void paneLineBreaks();
    void paneScrolling();
    void modelChanges();
    void addressList();
    void screenshot();

private:
    /// Compares one element's widget (or timer) with the model; empty when they agree.
    QString mismatch(const Element &element) const;
    QLineEdit *line() const { return qobject_cast<QLineEdit *>(m_window->widget(m_h->udp.tbSendData)); }
    QPlainTextEdit *pane() const { return qobject_cast<QPlainTextEdit *>(m_window->widget(m_h->udp.tbReceiveData)); }

    std::unique_ptr<Harness> m_h;
    std::unique_ptr<MainWindow> m_window;
};

void TestGui::init()
{
    m_h = std::make_unique<Harness>();
    m_h->udp.Form_Load();
    m_window = std::make_unique<MainWindow>(m_h->udp);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestGui::cleanup()
{
    m_window.reset();
    m_h.reset();
}

void TestGui::window()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Vantrel V3.1.3"));
    QCOMPARE(m_window->size(), QSize(566, 715));
    QCOMPARE(line()->text(), QStringLiteral("Команды набирать здесь"));
    QCOMPARE(line()->toolTip(), QStringLiteral("Команды набирать здесь"));
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), line());
}

void TestGui::elements_data()
{
    QTest::addColumn<QByteArray>("name");
    const Harness h;
    for (const Element *element : h.udp.elements())
        QTest::newRow(element->name().constData()) << element->name();
}

void TestGui::elements()
{
    QFETCH(QByteArray, name);
    const Element *element = m_h->udp.find(name);
    QVERIFY(element);
    const QString wrong = mismatch(*element);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

QString TestGui::mismatch(const Element &element) const
{
    if (element.kind() == Kind::Timer) {
        const auto *timer = m_window->findChild<QTimer *>(QString::fromLatin1(element.name()));
        if (!timer || timer->isActive() != element.Enabled() ||
            timer->interval() != static_cast<const Timer &>(element).Interval())
            return QStringLiteral("timer not running exactly while enabled, at its interval");
        return {};
    }
    QWidget *w = m_window->widget(element);
    if (!w)
        return QStringLiteral("no widget");
    const QWidget *parent = element.container() ? m_window->widget(*element.container()) : m_window.get();
    if (w->parentWidget() != parent)
        return QStringLiteral("not inside its container");
    if (w->geometry() != element.geometry())
        return QStringLiteral("geometry %1,%2 %3x%4").arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height());
    if (w->isEnabledTo(parent) != element.Enabled())
        return QStringLiteral("enabled %1").arg(w->isEnabledTo(parent));
    if (w->isVisibleTo(parent) != element.Visible())
        return QStringLiteral("shown %1").arg(w->isVisibleTo(parent));

    const QString caption = Charset::decode(element.Caption());
    QString shown;
    QString expected = caption;
    switch (element.kind()) {
    case Kind::Frame:
        shown = qobject_cast<const QGroupBox *>(w)->title();
        break;
    case Kind::Label:
        shown = qobject_cast<const QLabel *>(w)->text();
        break;
    case Kind::Button:
        shown = qobject_cast<const QPushButton *>(w)->text();
        break;
    case Kind::CheckBox:
    case Kind::OptionButton: {
        // Only the box or mark is drawn; the caption names it for accessibility.
        const auto *box = qobject_cast<const QAbstractButton *>(w);
        if (!box->text().isEmpty())
            return QStringLiteral("shows a caption");
        shown = box->accessibleName();
        if (box->isChecked() != (static_cast<const CheckBox &>(element).Value() == 1))
            return QStringLiteral("checked %1").arg(box->isChecked());
        break;
    }
    case Kind::TextBox: {
        const auto &box = static_cast<const TextBox &>(element);
        expected = Charset::decode(box.Text());
        if (const auto *edit = qobject_cast<const QLineEdit *>(w)) {
            shown = edit->text();
            if (edit->isReadOnly() != box.locked())
                return QStringLiteral("read-only %1").arg(edit->isReadOnly());
        } else {
            shown = qobject_cast<const QPlainTextEdit *>(w)->toPlainText();
        }
        if (box.font() == Font::Pane && (!QFontInfo(w->font()).fixedPitch() || w->font().pointSizeF() != 9.75))
            return QStringLiteral("not the pane font");
        break;
    }
    case Kind::ComboBox: {
        const auto &box = static_cast<const ComboBox &>(element);
        const auto *combo = qobject_cast<const QComboBox *>(w);
        expected = Charset::decode(box.Text());
        shown = combo->currentText();
        if (combo->count() != box.ListCount() || combo->currentIndex() != box.ListIndex() || !combo->isEditable())
            return QStringLiteral("list of %1, entry %2").arg(combo->count()).arg(combo->currentIndex());
        break;
    }
    case Kind::ProgressBar:
        expected = Charset::decode(static_cast<const ProgressBar &>(element).Text());
        shown = qobject_cast<const QProgressBar *>(w)->text();
        break;
    case Kind::Image: {
        // The lit screen is blue, the dark one is not.
        const QImage picture = qobject_cast<const QLabel *>(w)->pixmap().toImage();
        const QColor screen = picture.pixelColor(16, 12);
        if (picture.size() != QSize(32, 32) ||
            (screen.blue() > 2 * screen.red()) != static_cast<const Image &>(element).lit())
            return QStringLiteral("wrong picture");
        break;
    }
    case Kind::Shape: {
        const QColor fill = QColor::fromRgb(QRgb(static_cast<const Shape &>(element).FillColor()));
        if (w->grab().toImage().pixelColor(w->width() / 2, w->height() / 2) != fill)
            return QStringLiteral("not filled in its colour");
        break;
    }
    case Kind::Timer:
        break;
    }
    if (shown != expected)
        return QStringLiteral("shows \"%1\", not \"%2\"").arg(shown, expected);
    if (element.font() == Font::SansBold && !w->font().bold())
        return QStringLiteral("not bold");
    return {};
}

void TestGui::commandLine()
{
    m_h->connect();
    m_window->flush();
    QLineEdit *edit = line();
    QCOMPARE(edit->text(), QString());
    // Typing inside the line keeps the caret where the user put it.
    QTest::keyClicks(edit, "vr");
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClicks(edit, "e");
    QCOMPARE(edit->cursorPosition(), 2);
    QCOMPARE(m_h->udp.tbSendData.Text(), QByteArray("ver"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(m_h->winsock.written(), QByteArrayList{"ver\r\n"});
    QCOMPARE(edit->text(), QString());
    QTRY_COMPARE(pane()->toPlainText(), QStringLiteral("\nver\n"));

    // Up recalls the line with the caret at its end; Left then moves the caret as usual; Down empties it.
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(edit->text(), QStringLiteral("ver"));
    QCOMPARE(edit->cursorPosition(), 3);
    QTest::keyClick(edit, Qt::Key_Left);
    QCOMPARE(edit->cursorPosition(), 2);
    QTest::keyClick(edit, Qt::Key_Up); // nothing older: swallowed, the caret stays
    QCOMPARE(edit->cursorPosition(), 2);
    QTest::keyClick(edit, Qt::Key_Down);
    QCOMPARE(edit->text(), QString());
    QCOMPARE(m_h->udp.tbSendData.Text(), QByteArray());
    QCOMPARE(m_h->winsock.written().size(), 1);
}

void TestGui::caseButtons()
{
    QLineEdit *edit = line();
    edit->clear();
    QTest::keyClicks(edit, "ver ");
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(0x0416), QStringLiteral("ж"), Qt::NoModifier);
    QTest::mouseClick(m_window->widget(m_h->udp.Command15), Qt::LeftButton);
    QCOMPARE(edit->text(), QStringLiteral("VER Ж"));
    QCOMPARE(m_h->udp.tbSendData.Text(), QByteArray("VER \xC6"));
    QTest::mouseClick(m_window->widget(m_h->udp.Command16), Qt::LeftButton);
    QCOMPARE(edit->text(), QStringLiteral("ver ж"));
    QCOMPARE(m_h->udp.focus(), &m_h->udp.tbSendData);
}

void TestGui::paneLineBreaks_data()
{
    QTest::addColumn<QByteArrayList>("appends");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF split over two appends") << QByteArrayList{"a\r", "\nb"} << QStringList{"a", "b"};
    QTest::newRow("CR, LF and CR LF") << QByteArrayList{"x\ry\nz"} << QStringList{"x", "y", "z"};
    QTest::newRow("two lone CRs") << QByteArrayList{"a\r", "\r", "b"} << QStringList{"a", "", "b"};
    QTest::newRow("LF CR is two breaks") << QByteArrayList{"a\n\rb\r\n"} << QStringList{"a", "", "b", ""};
    QTest::newRow("Windows-1251") << QByteArrayList{"\xCE\xCA", "\r\n"} << QStringList{"ОК", ""};
}

void TestGui::paneLineBreaks()
{
    QFETCH(QByteArrayList, appends);
    QFETCH(QStringList, lines);
    // Each append is shown before the next arrives, so that a CR LF is split between two flushes.
    for (const QByteArray &bytes : appends) {
        m_h->udp.tbReceiveData.append(bytes);
        static_cast<ReceivePane *>(pane())->flush();
    }
    QTRY_COMPARE(pane()->toPlainText().split(QLatin1Char('\n')), lines);

    // A new text replaces everything, appends not yet shown included.
    m_h->udp.tbReceiveData.append("lost");
    m_h->udp.tbReceiveData.setText("new\r\ntext");
    QCOMPARE(pane()->toPlainText(), QStringLiteral("new\ntext"));
    QTest::qWait(50);
    QCOMPARE(pane()->toPlainText(), QStringLiteral("new\ntext"));
}

void TestGui::paneScrolling()
{
    TextBox &box = m_h->udp.tbReceiveData;
    QScrollBar *bar = pane()->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        box.append("line " + QByteArray::number(i) + "\r\n");
    box.caretToEnd();
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());

    // At the bottom the pane follows new text; scrolled up it stays where the user put it...
    box.append("more\r\n");
    QTRY_COMPARE(pane()->document()->blockCount(), 202);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(10);
    box.append("and more\r\n");
    QTRY_COMPARE(pane()->document()->blockCount(), 203);
    QCOMPARE(bar->value(), 10);
    // An arrival that puts the caret at the end does not pull the user down either...
    box.append("arrived\r\n");
    box.caretToEnd();
    m_window->flush();
    QCOMPARE(bar->value(), 10);
    // ...but the echo of the user's own command does.
    m_h->connect();
    QTest::keyClicks(line(), "ver");
    QTest::keyClick(line(), Qt::Key_Return);
    QCOMPARE(bar->value(), bar->maximum());
}

void TestGui::modelChanges()
{
    UDP &udp = m_h->udp;
    int ticks = 0;
    m_window->setTickHandler(udp.TMRComm, [&ticks] { ++ticks; });
    m_h->connect();
    QVERIFY(udp.YesConnect.Visible() && udp.Frame2.Enabled());
    udp.TMRComm.setEnabled(true);
    udp.vbalProgressBar1.setText("WRITE 100%");
    udp.vbalProgressBar1.setMax(10);
    udp.vbalProgressBar1.setValue(11);
    udp.Pic.setFillColor(Colour::Red);
    udp.Pic.setVisible(true);
    udp.Comm_number.setBackColor(Colour::Green);
    QTest::mouseClick(m_window->widget(udp.Option3), Qt::LeftButton, {}, QPoint(6, 8));
    QCOMPARE(udp.Option3.Value(), 1);
    QCOMPARE(udp.Option6.Value(), 0);

    m_window->flush();
    for (const Element *element : udp.elements()) {
        const QString wrong = mismatch(*element);
        QVERIFY2(wrong.isEmpty(), qPrintable(QString::fromLatin1(element->name()) + QStringLiteral(": ") + wrong));
    }
    const auto *bar = static_cast<TextProgressBar *>(m_window->widget(udp.vbalProgressBar1));
    QCOMPARE(bar->shownMax(), 10);
    QCOMPARE(bar->shownValue(), 10); // shown full, while the model keeps 11
    QCOMPARE(m_window->widget(udp.Comm_number)->palette().color(QPalette::Base), QColor(0, 255, 0));
    QTRY_VERIFY(ticks > 0);
    udp.TMRComm.setEnabled(false);
    const int stopped = ticks;
    QTest::qWait(60);
    QCOMPARE(ticks, stopped);
}

void TestGui::addressList()
{
    UDP &udp = m_h->udp;
    auto *combo = qobject_cast<QComboBox *>(m_window->widget(udp.ComboRemoteIP));
    offerDemoDevice(udp, 4242);
    offerDemoDevice(udp, 4242);
    m_window->flush();
    QCOMPARE(udp.ComboRemoteIP.items(), (QList<QByteArray>{"127.0.0.1", kDefaultAddress}));
    QCOMPARE(combo->currentText(), QStringLiteral("127.0.0.1"));
    QCOMPARE(combo->count(), 2);
    QCOMPARE(udp.tbRemotePort.Text(), QByteArray("4242"));
    QVERIFY(!QFile::exists(m_h->dir.filePath(QStringLiteral("terminal.ini"))));

    // What the user types in the box is the model's text; "Add" puts it into the list.
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "10.0.0.5");
    QCOMPARE(udp.ComboRemoteIP.Text(), QByteArray("10.0.0.5"));
    QTest::mouseClick(m_window->widget(udp.Add_ip), Qt::LeftButton);
    QCOMPARE(udp.ComboRemoteIP.ListCount(), 3);
    QCOMPARE(combo->itemText(2), QStringLiteral("10.0.0.5"));
    QCOMPARE(combo->currentText(), QStringLiteral("10.0.0.5"));
}

void TestGui::screenshot()
{
    m_h->connect();
    m_h->udp.tbReceiveData.append("VER\r\nVantrel V3.1.3\r\nOK\r\n");
    QTest::keyClicks(line(), "list");
    QTRY_VERIFY(!pane()->toPlainText().isEmpty());
    const QPixmap shot = m_window->grab();
    QVERIFY(!shot.isNull());
    QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(566, 715));
    QVERIFY(shot.save(QDir(m_h->previous).filePath(QStringLiteral("vantrel-window.png"))));
}

QTEST_MAIN(TestGui)
#include "tst_gui.moc"
