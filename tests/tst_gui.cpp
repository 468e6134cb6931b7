// SPDX-License-Identifier: MIT
// The view: the real window over the model on fakes, its layout, focus, keys, status line, pane views and options,
// the side panel of saved commands and the port picker.
#include "harness.h"

#include "app/charset.h"
#include "gui/commandpanel.h"
#include "gui/demo.h"
#include "gui/mainwindow.h"
#include "gui/monitorwindow.h"
#include "gui/panerows.h"
#include "gui/panetext.h"
#include "gui/receivepane.h"
#include "gui/widgets.h"

#include <QtTest>
#include <QtWidgets>

#include <ctime>
#include <memory>

namespace
{
/// Where the window shows each element of its client area that keeps its place, as "name x,y wxh caption" in
/// window coordinates (a group box's offset added) with its caption or text at start. Typed from the window's
/// drawing, not taken from the model's element table, so that a wrong number there fails.
constexpr char kLayout[] =
    "Frame1 0,0 262x57 Link;Label1(1) 4,16 25x17  Host;ComboRemoteIP 32,8 121x21 192.168.0.100;"
    "Add_ip 32,32 33x17 Add;Del_ip 72,32 33x17 Del;SaveIP 112,32 41x17 Save;YesConnect 152,8 32x32 ;"
    "NoConnect 152,16 32x32 ;cbBind 184,8 65x17 Connect;Command1 184,32 65x17 Disconnect;"
    "Frame2 268,0 297x57 Flash disk;Label7 276,13 61x17 File name:;Text2 332,8 97x19 SAMPLE.TXT;"
    "Command3 436,8 37x17 Send;Command4 480,8 57x17 Recieve;Command5 504,32 33x17 End;"
    "vbalProgressBar1 276,32 221x17 NO FILE;Frame4 0,56 266x41 Comm's;Label1(0) 4,72 53x17 Port:(1-9);"
    "Comm_number 52,72 37x19 COM3;Pic 92,72 13x17 ;ComboPorts 92,72 13x17 ;BTNOpenCom 112,72 37x17 Open;Label10 152,63 "
    "37x17 speed;"
    "Label11 156,80 104x15 12/24/48/96/19/115;Option1 188,64 13x17 Option1;Option2 200,64 13x17 Option2;"
    "Option3 212,64 13x17 Option3;Option4 224,64 13x17 Option4;Option5 236,64 13x17 Option5;"
    "Option6 248,64 16x17 Option6;Frame5 272,56 157x41 Modbus RTU;Label8 276,72 29x17 Addr;Text3 304,72 21x19 16;"
    "Label12 328,68 33x25 Via USB;Check3 352,72 13x13 Check3;Command8 372,72 49x17 Init Port;"
    "Check1 408,56 13x17 Check1;Frame6 436,56 129x41 Eth to MODBUS;Label9 448,72 25x17 Addr;Text4 480,72 25x19 16;"
    "Command7 508,72 45x17 InitPort;Check2 540,56 13x13 Check2;Frame3 0,96 485x41 BASIC Files;"
    "Command10 4,112 133x17 Open File and  Download;Command9 144,112 25x17 >>;Command14 176,112 17x17 X;"
    "Command11 200,112 93x17 Save Programm;Command12 304,112 133x17 New Programm - wait 20s;"
    "Command13 444,112 33x17 Info;Frame7 488,96 77x41 ;Command2 504,112 41x17 Clear";
/// The laid-out client area with the status line under it.
constexpr QSize kWindow{566, 735};
} // namespace

class TestGui : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> m_h;
    std::unique_ptr<MainWindow> m_window;

    template <typename W = QWidget> W *view(const Element &e) const { return static_cast<W *>(m_window->widget(e)); }
    ReceivePane *receive() const { return view<ReceivePane>(m_h->udp.tbReceiveData); }
    PaneText *pane() const { return receive()->textView(); }
    void trigger(const char *action) const { receive()->findChild<QAction *>(QString::fromLatin1(action))->trigger(); }
    /// What Copy takes from the pane: in the hex and time-stamp views, the selected rows as they are painted.
    QString copied() const
    {
        trigger("selectAll");
        trigger("copy");
        return QApplication::clipboard()->text();
    }
    /// Whether any pixel of the widget as drawn, or of a part of it, has the colour.
    static bool shows(QWidget *w, const QColor &colour, const QRect &part = QRect(0, 0, -1, -1))
    {
        const QImage shot = w->grab(part).toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixelColor(x, y) == colour)
                    return true;
        return false;
    }
    /// The caption or text a widget shows. Check and option boxes draw only their mark; the caption names them
    /// for accessibility.
    static QString shownText(const QWidget *w)
    {
        QString shown = w->accessibleName();
        for (const char *prop : {"title", "currentText", "plainText", "text"})
            shown += w->property(prop).toString();
        return shown;
    }
    /// The first element whose widget disagrees with the model; empty when all agree.
    QString mismatch() const
    {
        for (const Element *e : m_h->udp.elements()) {
            QWidget *w = m_window->widget(*e);
            if (!w)
                continue; // the timer, checked by its ticks
            // The receive pane shows its text in the text view, which fills it, unless another view was chosen.
            const QWidget *text = w == receive() ? pane() : w;
            bool state = w->isEnabledTo(w->parentWidget()) == e->Enabled() &&
                         w->isVisibleTo(w->parentWidget()) == e->Visible() && text->size() == w->size() &&
                         w->toolTip() == Charset::decode(e->ToolTipText()) &&
                         w->font().bold() == (e->font() == Font::SansBold);
            QByteArray expected = e->Caption();
            if (const auto *box = dynamic_cast<const TextBox *>(e)) {
                expected = box->Text();
                state &= text->property("readOnly").toBool() == box->locked();
                // The caret and the selection the model set: what the user types next goes there.
                if (const auto *edit = qobject_cast<const QLineEdit *>(w))
                    state &=
                        edit->selectionLength() == box->SelLength() &&
                        (edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition()) == box->SelStart();
            } else if (const auto *box = dynamic_cast<const ComboBox *>(e)) {
                expected = box->Text();
                state &= w->property("count") == box->ListCount() && w->property("currentIndex") == box->ListIndex();
            } else if (const auto *bar = dynamic_cast<const ProgressBar *>(e)) {
                // The last block leaves Value one above Max: the bar shows it full.
                expected = bar->Text();
                state &= static_cast<const TextProgressBar *>(w)->shownValue() == qMin(bar->Value(), bar->Max());
            } else if (const auto *box = dynamic_cast<const CheckBox *>(e)) {
                state &= static_cast<QAbstractButton *>(w)->isChecked() == (box->Value() == 1);
            } else if (const auto *shape = dynamic_cast<const Shape *>(e)) {
                state &= w->grab().toImage().pixelColor(w->rect().center()) == QColor(QRgb(shape->FillColor()));
            }
            if (!state || shownText(text) != Charset::decode(expected))
                return QStringLiteral("%1 shows \"%2\"").arg(QString::fromLatin1(e->name()), shownText(text));
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        // The time-stamp view shows local time: three hours ahead of UTC, so that a stamp in UTC shows.
        qputenv("TZ", "MSK-3");
        tzset();
    }

    void init()
    {
        m_window.reset();
        // The model outlives its window, which hears nothing more from it.
        QVERIFY(!m_h || !m_h->udp.observer());
        m_h.reset(); // the working directory it made current goes back first
        m_h = std::make_unique<Harness>();
        m_h->udp.Form_Load();
        m_window = std::make_unique<MainWindow>(m_h->udp);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void windowFollowsTheModel()
    {
        UDP &udp = m_h->udp;
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Vantrel V3.1.3"));
        QVERIFY(!m_window->windowIcon().pixmap(32).isNull()); // our own icon, drawn by the SVG plugin
        QCOMPARE(m_window->size(), kWindow);
        QCOMPARE(mismatch(), QString());
        // A control that can be used but does nothing reads as broken, and each one that can be reached says what
        // it does. Check3 and the speed options are only read (at each send and poll, and when the port opens).
        QByteArrayList faults;
        for (Element *e : udp.elements()) {
            const QWidget *w = m_window->widget(*e);
            if (qobject_cast<const QAbstractButton *>(w) && e->Enabled() && e->Visible() && !e->hasClickHandler() &&
                !e->name().startsWith("Option") && e->name() != "Check3")
                faults << e->name() + " does nothing";
            if (w && w->focusPolicy() != Qt::NoFocus && w->parentWidget()->isVisible() && w->toolTip().isEmpty())
                faults << e->name() + " has no tip";
        }
        QCOMPARE(faults, QByteArrayList());

        // A click on an option selects it and clears the others; the address box completes what is typed from its
        // list while it has the focus, and Connect uses what it shows. What the user did shows at once.
        QTest::mouseClick(view(udp.Option3), Qt::LeftButton, {}, QPoint(6, 8));
        QVERIFY(udp.Option3.Value() == 1 && udp.Option6.Value() == 0);
        QLineEdit *host = view<QComboBox>(udp.ComboRemoteIP)->lineEdit();
        host->setFocus();
        QTRY_VERIFY(host->hasFocus());
        host->selectAll();
        QTest::keyClicks(host, "192");
        QTest::mouseClick(view(udp.cbBind), Qt::LeftButton);
        QCOMPARE(m_h->winsock.remoteHost, QByteArray(kDefaultAddress));
        QCOMPARE(mismatch(), QString());

        // The captions are drawn in a font the window asks for, found on this system, not a stand-in the system picks
        // (under Wine a stand-in lost every capital I).
        const QFont captions = m_window->font();
        QVERIFY2(captions.families().contains(QFontInfo(captions).family()), qPrintable(QFontInfo(captions).family()));
        // The README's picture (docs/window.png): a session with the device over the link just connected.
        pressEnter(udp, "VER");
        m_h->winsock.feedReceived("VER 3.1 SIM\r\n");
        m_window->flush();
        QVERIFY(m_window->grab().save(QDir(m_h->previous).filePath(QStringLiteral("vantrel-window.png"))));

        // Changes from outside a user action (the --demo offer among them) are shown with the next frame.
        int ticks = 0;
        udp.TMRComm.setTickHandler([&ticks] { ++ticks; });
        udp.TMRComm.setEnabled(true);
        offerDemoDevice(udp, 4242); // twice, as a second --demo start would
        offerDemoDevice(udp, 4242);
        udp.vbalProgressBar1.setText("WRITE 100%");
        udp.vbalProgressBar1.setMax(10);
        udp.vbalProgressBar1.setValue(11);
        udp.Pic.setFillColor(Colour::Red);
        udp.Pic.setVisible(true);
        udp.Comm_number.setBackColor(Colour::Green);
        udp.tbReceiveData.append("lost"); // a new text replaces the appends not yet shown
        udp.tbReceiveData.setText("Vantrel V3.1.3");
        udp.Text2.setSelStart(2); // a selection the model makes in a text it leaves as it is
        udp.Text2.setSelLength(3);
        QTRY_COMPARE(mismatch(), QString());
        QCOMPARE(udp.ComboRemoteIP.items(), (QList<QByteArray>{"127.0.0.1", kDefaultAddress}));
        QCOMPARE(udp.ComboRemoteIP.Text(), QByteArray("127.0.0.1"));
        QCOMPARE(udp.tbRemotePort.Text(), QByteArray("4242"));
        QCOMPARE(view(udp.Comm_number)->palette().color(QPalette::Base), QColor(0, 255, 0));
        QTRY_VERIFY(ticks > 0);
        udp.TMRComm.setEnabled(false);
        QVERIFY(!m_window->findChild<QTimer *>(QStringLiteral("TMRComm"))->isActive());

        // The port box names the device its port stands for, and lists the adapters plugged in when the tip is
        // about to show, marking the one the box reaches as the user types.
        auto *port = view<QLineEdit>(udp.Comm_number);
        m_h->mscomm.present = {listedPort("/dev/fake12", "USB serial", "A5028", 12),
                               listedPort("/dev/fake0", "", "", 0)};
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), port->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(port, &hover);
        const QString ports = QStringLiteral("Serial ports on this computer:\nCOM12: /dev/fake12, USB serial, serial "
                                             "number A5028%1\nno number: /dev/fake0");
        QCOMPARE(port->toolTip(), "/dev/fake3\n" + ports.arg(QString()));
        port->selectAll();
        QTest::keyClicks(port, "COM12");
        QCOMPARE(port->toolTip(), "/dev/fake12\n" + ports.arg(QStringLiteral("  <- this port")));
        QTest::keyClicks(port, "\b\b"); // "COM" is no port at all: none is marked
        QCOMPARE(port->toolTip(), ports.arg(QString()));
    }

    void layout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("growing");
        // The receive pane, the command line (%1: its hint) with its case buttons and the status line (%2: its words)
        // follow the window's size: as drawn, grown by 334 x 265, and shrunk to the smallest window (255 lower),
        // which with a title bar and a taskbar fits a 768-pixel-high screen at 125 %.
        QTest::newRow("drawn") << kWindow
                               << "tbReceiveData 0,136 566x553 ;tbSendData 0,688 553x25 %1;Command15 553,689 13x13 +;"
                                  "Command16 553,702 13x13 -;statusLine 0,715 566x20 %2";
        QTest::newRow("grown") << QSize(900, 1000)
                               << "tbReceiveData 0,136 900x818 ;tbSendData 0,953 887x25 %1;Command15 887,954 13x13 +;"
                                  "Command16 887,967 13x13 -;statusLine 0,980 900x20 %2";
        QTest::newRow("small") << QSize(566, 480)
                               << "tbReceiveData 0,136 566x298 ;tbSendData 0,433 553x25 %1;Command15 553,434 13x13 +;"
                                  "Command16 553,447 13x13 -;statusLine 0,460 566x20 %2";
    }
    void layout()
    {
        QFETCH(QSize, size);
        QFETCH(QString, growing);
        growing = growing.arg(QStringLiteral("Команды набирать здесь"),
                              QStringLiteral("not connected | 0 B sent, 0 B received"));
        m_window->resize(size);
        QTRY_COMPARE(m_window->size(), size);
        // Every element in view (a hidden one included) in its place with its caption; what is laid out below the
        // client area never comes into view, however tall the window grows.
        QStringList shown;
        const auto place = [&](const QByteArray &name, const QWidget *w) {
            const QPoint at = w->mapTo(m_window.get(), QPoint());
            shown << QString::asprintf("%s %d,%d %dx%d ", name.constData(), at.x(), at.y(), w->width(), w->height()) +
                         shownText(w);
        };
        for (const Element *e : m_h->udp.elements())
            if (const QWidget *w = m_window->widget(*e); w && w->parentWidget()->isVisible())
                place(e->name(), w);
        place("statusLine", m_window->findChild<QWidget *>(QStringLiteral("statusLine")));
        QCOMPARE(shown, QString::fromLatin1(kLayout).split(QLatin1Char(';')) + growing.split(QLatin1Char(';')));
    }

    void tabOrder()
    {
        // Reading order over the controls that can be used: the frames at start are disabled where the link is
        // down, the speed options are one stop, and nothing below the client area is ever reached.
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        UDP &udp = m_h->udp;
        QCOMPARE(udp.focus(), &udp.tbSendData);
        QByteArrayList visited;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << udp.focus()->name();
        } while (udp.focus() != &udp.tbSendData && visited.size() < 60);
        QCOMPARE(
            visited,
            QByteArray("Command15 Command16 ComboRemoteIP Add_ip Del_ip SaveIP cbBind Command1 "
                       "Comm_number ComboPorts BTNOpenCom Option6 Command10 Command9 Command14 Command11 Command12 "
                       "Command13 Command2 tbReceiveData tbSendData")
                .split(' '));
        // The arrows move within the options and select the one they reach; Tab leaves the group from there.
        view(udp.Option6)->setFocus();
        for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Up})
            QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(udp.focus(), &udp.Option1);
        QVERIFY(udp.Option1.Value() == 1 && udp.Option6.Value() == 0 && udp.Option2.Value() == 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(udp.focus(), &udp.Command10);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(udp.focus(), &udp.Option1);
        // Another window taking the focus (a dialog, another program) leaves the window's own where it was.
        QLineEdit other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.setFocus();
        QTRY_VERIFY(other.hasFocus());
        QCOMPARE(udp.focus(), &udp.Option1);
    }

    void commandLineAndScrolling()
    {
        UDP &udp = m_h->udp;
        QScrollBar *bar = pane()->verticalScrollBar();
        for (int i = 0; i < 200; ++i)
            udp.tbReceiveData.append("line " + QByteArray::number(i) + "\r\n");
        udp.tbReceiveData.caretToEnd();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        // Scrolled up, the pane stays where the user put it, even when an arrival moves the caret to the end...
        bar->setValue(10);
        udp.tbReceiveData.append("arrived\r\n");
        udp.tbReceiveData.caretToEnd();
        m_window->flush();
        QCOMPARE(bar->value(), 10);
        // ...and in another view: line 10 starts in hex row 10, after ten lines of 8 bytes in rows of 8 at the
        // window's width.
        trigger("hexView");
        QCOMPARE(receive()->rows()->topRow(), 10);
        trigger("hexView");
        QCOMPARE(bar->value(), 10);

        // The echo of the user's own command brings the end into view.
        m_h->connect();
        m_window->flush();
        auto *edit = view<QLineEdit>(udp.tbSendData);
        // Enter sends what the line shows: a text the model put there since the last frame is not sent.
        udp.tbSendData.setText("VER");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, "vr ");
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(0x0416), QStringLiteral("ж"), Qt::NoModifier);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(edit, Qt::Key_Left);
        QTest::keyClicks(edit, "e");
        QCOMPARE(edit->cursorPosition(), 2); // typing keeps the caret where the user put it
        trigger("hexView");                  // from row 5 of the hex view as well
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_h->winsock.written(), (QByteArrayList{"\r\n", "ver \xE6\r\n"})); // Windows-1251 on the wire
        QVERIFY(pane()->toPlainText().endsWith(QStringLiteral("line 199\narrived\n\n\n\nver ж\n")));
        QCOMPARE(bar->value(), bar->maximum());
        m_window->flush();
        QScrollBar *rowsBar = receive()->rows()->verticalScrollBar();
        QCOMPARE(rowsBar->value(), rowsBar->maximum());
        // Scrolled to the top, a text the model replaces shows from its start.
        rowsBar->setValue(0);
        udp.tbReceiveData.setText(QByteArray(2000, 'x'));
        m_window->flush();
        QCOMPARE(receive()->rows()->topRow(), 0);
        // The status line shows the model's words: the silence since "ver" went out, counted each second with no
        // word from the model, then the reply's bytes.
        const auto *status = m_window->findChild<StatusLine *>(QStringLiteral("statusLine"));
        m_h->system.clock += 12'500;
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), udp.statusText(), kPatienceMs);
        m_h->winsock.feedReceived("VER 3.1\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), udp.statusText(), kPatienceMs);

        // A case button changes what the user typed, Cyrillic included, and gives the command line its focus back.
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(0x0416), QStringLiteral("ж"), Qt::NoModifier);
        QTest::mouseClick(view(udp.Command15), Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("Ж"));
        QCOMPARE(udp.focus(), &udp.tbSendData);
    }

    void commandPanelAndPortPicker()
    {
        UDP &udp = m_h->udp;
        m_h->connect();
        offerDemoCommands(udp);
        // Ctrl+L shows the panel beside what is laid out, the window widening by it, and hides it again.
        QTest::keyClick(m_window.get(), Qt::Key_L, Qt::ControlModifier);
        CommandPanel *panel = m_window->commandPanel();
        QVERIFY(udp.commandPanelShown() && panel->isVisible());
        QCOMPARE(m_window->width(), kWindow.width() + CommandPanel::kWidth);
        QCOMPARE(panel->geometry(), QRect(566, 0, CommandPanel::kWidth, 715));
        QCOMPARE(panel->commandButton(1)->text(), QStringLiteral("F2  List the program"));
        // F2 and F3 (not Find Next while the find bar is closed) in the command line and clicks on buttons send as
        // Enter does, the line end left off where the command says so; what was typed stays. None of them repeats.
        auto *edit = view<QLineEdit>(udp.tbSendData);
        QTest::keyClicks(edit, "ty");
        QTest::keyClick(edit, Qt::Key_F2);
        QTest::keyClick(edit, Qt::Key_F3);
        QTest::mouseClick(panel->commandButton(0), Qt::LeftButton);
        QTest::mouseClick(panel->commandButton(3), Qt::LeftButton);
        QTest::mouseClick(panel->commandButton(4), Qt::LeftButton);
        QCOMPARE(m_h->winsock.written(),
                 (QByteArrayList{"LIST\r\n", "MDC 16,VER\r\n", "VER\r\n", "UART 2,7\r\n", "VER\r"}));
        QCOMPARE(edit->text(), QStringLiteral("ty"));
        QTest::keyClick(edit, Qt::Key_F9);
        QVERIFY(m_window->findChild<StatusLine *>()->text().contains(QStringLiteral("F9: no saved command there")));
        // The command that repeats has its Stop.
        auto *stop = panel->findChild<QPushButton *>(QStringLiteral("stopRepeat"));
        QVERIFY(!stop->isEnabled());
        QTest::mouseClick(panel->commandButton(5), Qt::LeftButton);
        QCOMPARE(stop->text(), QStringLiteral("Stop Version every second"));
        QCOMPARE(std::pair(m_h->winsock.written().constLast(), udp.TMRRepeat.Interval()),
                 std::pair(QByteArray("VER\r\n"), 1000));
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!udp.TMRRepeat.Enabled() && !stop->isEnabled());
        QTest::keyClick(m_window.get(), Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!udp.commandPanelShown() && !panel->isVisible());
        QCOMPARE(m_window->width(), kWindow.width());

        // The port picker lists the ports present as it drops down, and picking one sets the port box.
        m_h->mscomm.present = {listedPort("/dev/fake12", "USB serial", "A5028", 12)};
        auto *picker = view<QComboBox>(udp.ComboPorts);
        picker->showPopup();
        QCOMPARE(picker->itemText(0), QStringLiteral("COM12: /dev/fake12, USB serial, serial number A5028"));
        QVERIFY(udp.TMRPorts.Enabled());
        picker->hidePopup();
        QVERIFY(!udp.TMRPorts.Enabled());
        emit picker->activated(0);
        QCOMPARE(view<QLineEdit>(udp.Comm_number)->text(), QStringLiteral("COM12"));

        // "Stay closed", in the status line's menu, ends the wait for a device that went away.
        auto *stayClosed = m_window->findChild<QAction *>(QStringLiteral("stayClosed"));
        udp.Command1_Click();
        QTest::mouseClick(view(udp.BTNOpenCom), Qt::LeftButton);
        QVERIFY(!picker->isVisible() && !stayClosed->isEnabled());
        m_h->mscomm.disconnect();
        udp.TMRComm_Timer();
        m_window->flush();
        QVERIFY(stayClosed->isEnabled());
        stayClosed->trigger();
        QVERIFY(!udp.waitingForDevice() && !stayClosed->isEnabled() && picker->isVisible());
        QTest::mouseClick(view(udp.Command2), Qt::LeftButton); // the pane's line breaks are the pane views' to check
        QCOMPARE(mismatch(), QString());
    }

    void paneViews_data()
    {
        QTest::addColumn<QByteArrayList>("datagrams");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("shown");
        // The datagrams come 1.234 s apart from 10:00:00 local time; each time shows where its chunk began. The text
        // view's line breaks are checked with the pane's trims.
        const QString noStamp = PaneRender::noStamp();
        QTest::newRow("CR LF split") << QByteArrayList{"OK\r", "\nb"} << false << "10:00:00.000 OK\n10:00:01.234 b";
        QTest::newRow("CR, LF, CR LF, two lone CRs, LF CR")
            << QByteArrayList{"x\ry\nz\r\nw\r", "\r", "b\n\rc"} << false
            << "10:00:00.000 x\n" + noStamp + "y\n" + noStamp + "z\n" + noStamp +
                   "w\n10:00:01.234 \n10:00:02.468 b\n\n" + noStamp + "c";
        QTest::newRow("a CR at the end ends its line") << QByteArrayList{"OK\r"} << false << "10:00:00.000 OK\n";
        QTest::newRow("a line in two chunks has the first one's time, a prompt its own")
            << QByteArrayList{"VER 3.1\r\n", "par", "tial\r\n", ">"} << false
            << "10:00:00.000 VER 3.1\n10:00:01.234 partial\n10:00:03.702 >";
        // The window's width at 1.0 takes 8 bytes a row with the stamps, text column and all.
        QTest::newRow("hex")
            << QByteArrayList{"VER 3.1\r\n", "\xCE\xCA\r\nline\r\n"} << true
            << "10:00:00.000 00000000  56 45 52 20 33 2E 31 0D  VER 3.1.\n10:00:01.234 00000008  0A CE CA 0D 0A 6C 69 "
               "6E  .ОК..lin\n" +
                   noStamp + "00000010  65 0D 0A" + QString(17, QLatin1Char(' ')) + "e..";
        // The terminal's own command is stamped when it went, marked as sent ("Enter VER": VER typed and Enter
        // pressed).
        QTest::newRow("an echoed command") << QByteArrayList{"VER 3.1\r\n", "Enter VER", "VER 3.1 SIM\r\n"} << false
                                           << "10:00:00.000 VER 3.1\n\n10:00:01.234>VER\n10:00:02.468 VER 3.1 SIM\n";
    }
    void paneViews()
    {
        QFETCH(QByteArrayList, datagrams);
        QFETCH(bool, hex);
        // The view is chosen first, so that it grows with each datagram, each shown before the next arrives: a
        // CR LF is split between two flushes.
        receive()->setView(hex, true);
        m_h->connect();
        const qint64 start = m_h->system.clock;
        for (qsizetype i = 0; i < datagrams.size(); ++i) {
            m_h->system.clock = start + i * 1234;
            if (datagrams[i].startsWith("Enter "))
                pressEnter(m_h->udp, datagrams[i].mid(6));
            else
                m_h->udp.tbReceiveData.appendReceived(datagrams[i], m_h->system.clock);
            m_window->flush();
        }
        const QString shown = copied();
        QTEST(shown, "shown");
        QCOMPARE(receive()->rows()->horizontalScrollBar()->maximum(), 0); // no row is cut at the right
        // A click selects a row, and Shift+click extends the selection from there.
        QWidget *rows = receive()->rows()->viewport();
        const int height = rows->fontMetrics().lineSpacing();
        QTest::mouseClick(rows, Qt::LeftButton, {}, QPoint(4, height / 2));
        QTest::mouseClick(rows, Qt::LeftButton, Qt::ShiftModifier, QPoint(4, height * 5 / 2));
        trigger("copy");
        QCOMPARE(QApplication::clipboard()->text(), shown.section(QLatin1Char('\n'), 0, 2));
        // Find from the command line, where the focus is most of the time: Ctrl+F opens the find bar, F3 and Shift+F3
        // go on. The first datagram is there once, and found again where it is; "zz" is nowhere.
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto *edit = view<QLineEdit>(m_h->udp.tbSendData);
        auto *findText = receive()->findChild<QLineEdit *>(QStringLiteral("findText"));
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(findText->hasFocus());
        const auto notFound = [&](const QByteArray &needle, Qt::KeyboardModifiers modifiers) {
            findText->setText(QString::fromLatin1(needle));
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_F3, modifiers);
            const QList<QLabel *> labels = receive()->findChildren<QLabel *>();
            return std::ranges::any_of(labels, [](const QLabel *l) { return l->text() == QLatin1String("not found"); });
        };
        QVERIFY(!notFound(datagrams[0], {}) && !notFound(datagrams[0], Qt::ShiftModifier) &&
                notFound("zz", Qt::ShiftModifier));
        // A match the pane trims to its start stays marked there; one it trims away is marked nowhere.
        if (hex) {
            const QColor mark(255, 220, 0);
            // "e" is in the first row and the last: back from the first datagram is the last row.
            QVERIFY(!notFound("e", Qt::ShiftModifier) &&
                    shows(rows, mark, QRect(0, 2 * height, rows->width(), height)) &&
                    !shows(rows, mark, QRect(0, 0, rows->width(), height)));
            QVERIFY(!notFound("line", {}) && shows(rows, mark));
            m_h->udp.tbReceiveData.setMaxBytes(16);
            for (const QByteArray more : {"ok\r\n\r\n", "more\r\n"}) {
                m_h->udp.tbReceiveData.appendReceived(more, m_h->system.clock);
                m_window->flush();
                QCOMPARE(shows(rows, mark), more.startsWith("ok"));
            }
        }
        // Esc closes the bar and gives the focus back to the command line it came from.
        findText->setFocus();
        QTest::keyClick(findText, Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), edit);
    }

    void placedText_data()
    {
        QTest::addColumn<bool>("afterEnd");
        QTest::newRow("the hint at start") << false;
        QTest::newRow("CLOSE after End") << true;
    }
    void placedText()
    {
        // Text the terminal put in the command line stays the element's text until the first key typed replaces it,
        // wherever a click left the caret.
        QFETCH(bool, afterEnd);
        UDP &udp = m_h->udp;
        if (afterEnd) {
            m_h->connect();
            m_window->flush();
            QTest::mouseClick(view(udp.Command5), Qt::LeftButton);
        }
        m_window->flush();
        QCOMPARE(udp.tbSendData.Text(), afterEnd ? QByteArray("CLOSE") : QByteArray(UDP::kSendDataHint));
        auto *edit = view<QLineEdit>(udp.tbSendData);
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(20, edit->height() / 2));
        QVERIFY(edit->cursorPosition() > 0 && !edit->hasSelectedText());
        QTest::keyClicks(edit, "VER");
        QCOMPARE(edit->text(), QStringLiteral("VER"));
        QCOMPARE(udp.tbSendData.Text(), QByteArray("VER"));
    }

    void wireMonitor()
    {
        UDP &udp = m_h->udp;
        m_h->connect();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // Ctrl+M in the command line opens the monitor, which takes in a session as it goes: a command answered, a
        // flash-disk file refused, a program line rejected, a NEW whose answer never came, and a VER that has none
        // when the link goes down; then on the serial line in RTU frames, a reply that comes in two polls and a frame
        // damaged on the line.
        QTest::keyClick(view(udp.tbSendData), Qt::Key_M, Qt::ControlModifier);
        MonitorWindow *monitor = m_window->monitor();
        QVERIFY(monitor && monitor->isVisible());
        const QList<std::pair<QByteArray, QByteArray>> session{{"VER", "VER 3.1 SIM\r\n"},
                                                               {"OPENRD \"DATA.BIN\"", "ERROR file not found\r\n"},
                                                               {"99 GOTO 10", "ERROR line rejected\r\n"},
                                                               {"NEW", {}},
                                                               {"MDC 16,VER", "MDC 16: VER 3.1 STATION\r\n"},
                                                               {"VER", {}},
                                                               {"open RTU", {}},
                                                               {"VER", QByteArray::fromHex("1043055645")},
                                                               {{}, QByteArray::fromHex("520D0A4BD0")},
                                                               {{}, QByteArray::fromHex("1043055645520D0A4BD1")}};
        for (const auto &[command, reply] : session) {
            m_h->system.clock += command.isEmpty() ? 20 : 1500; // for the picture: nothing checked here
            if (command == "open RTU") {
                udp.Command1_Click();
                udp.BTNOpenCom_Click();
                udp.Check1.setValue(1);
            } else if (!command.isEmpty()) {
                pressEnter(udp, command);
            }
            m_h->system.clock += 3;
            if (udp.PortOpened)
                m_h->mscomm.feedReceived(reply), udp.TMRComm_Timer();
            else if (!reply.isEmpty())
                m_h->winsock.feedReceived(reply);
        }
        MonitorRows *rows = monitor->rows();
        QTRY_COMPARE(rows->rowCount(), 19); // the notes of the links going up and down among the units
        QVERIFY(rows->atEnd());
        const QString error = rows->rowText(4);
        QVERIFY2(error.contains(QStringLiteral("\u2190")) && error.contains(QStringLiteral("found\\r\\n")) &&
                     error.contains(QStringLiteral("ERROR: file not found")) && error.contains(QStringLiteral("ms #3")),
                 qPrintable(error));
        QTRY_VERIFY2(
            monitor->stripText().startsWith(QStringLiteral("\u2192 7 sent, 68 bytes   \u2190 9 received, 101 "
                                                           "bytes   CRC errors 1   without reply 2   reply min")),
            qPrintable(monitor->stripText()));
        // The README's picture (docs/monitor.png), the RTU reply gathered from two polls chosen.
        rows->setCurrentRow(16);
        QVERIFY2(monitor->details().contains(QStringLiteral("crc_check: good")), qPrintable(monitor->details()));
        QVERIFY(monitor->grab().save(QDir(m_h->previous).filePath(QStringLiteral("vantrel-monitor.png"))));

        // Find goes round from the row chosen; a filter keeps what passes it, and Export writes just that.
        auto *find = monitor->findChild<QLineEdit *>(QStringLiteral("monitorFind"));
        find->setText(QStringLiteral("rejected"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(rows->currentRow(), 6);
        monitor->findChild<QCheckBox *>(QString(), Qt::FindDirectChildrenOnly)->click(); // "Sent" off
        QCOMPARE(rows->rowCount(), 12);
        QCOMPARE(rows->currentRow(), 3);
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("received.jsonl"));
        monitor->findChild<QPushButton *>()->click();
        QCOMPARE(m_h->file(QStringLiteral("received.jsonl")).count("\"direction\":\"received\""), 9);
        // The session's first unit, chosen, stays chosen when another filter still shows it.
        rows->setCurrentRow(0);
        monitor->findChild<QCheckBox *>(QString(), Qt::FindDirectChildrenOnly)->click(); // "Sent" on
        QCOMPARE(rows->currentRow(), 0);
        // Each refresh that brings units shows the sums with them, whichever of its redraws it is.
        const auto *strip = monitor->findChild<QLabel *>(QStringLiteral("monitorStrip"));
        for (int i = 0; i < 2; ++i) {
            m_h->mscomm.feedReceived(QByteArray::fromHex("1043055645520D0A4BD1")), udp.TMRComm_Timer();
            monitor->refresh();
            QCOMPARE(strip->text(), monitor->stripText());
        }
    }

    void launchOptionsRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        // --help answers with no display at all: the window system is never started for it.
        QTest::newRow("--help, no display") << QStringList{"--help"} << 0 << "";
        QTest::newRow("unknown option") << QStringList{"--hots", "10.0.0.7"} << 1 << "Unknown option 'hots'";
        QTest::newRow("stray argument") << QStringList{"10.0.0.7"} << 1 << "unexpected argument: 10.0.0.7";
        QTest::newRow("host port") << QStringList{"--host", "10.0.0.7:65536"} << 1 << "--host takes ADDR or ADDR:PORT";
        QTest::newRow("remote port") << QStringList{"--remote-port", "1l1"} << 1 << "--remote-port takes a port";
        QTest::newRow("com without a path") << QStringList{"--com", "3"} << 1 << "--com takes N=PATH";
        // A Qt option is taken out by the application object; the terminal's own are judged again after it.
        QTest::newRow("host port after -platform")
            << QStringList{"-platform", "offscreen", "--host", "10.0.0.7:65536"} << 1 << "--host takes ADDR";
        QTest::newRow("--help after -platform") << QStringList{"-platform", "offscreen", "--help"} << 0 << "";
        QTest::newRow("workdir missing") << QStringList{"--workdir", "no/such/folder"} << 1 << "--workdir names";
    }
    void launchOptionsRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        QProcess terminal;
        // No display, nor anything else; but Windows finds the program's libraries on PATH, and its sockets need
        // SystemRoot.
        QProcessEnvironment bare;
#ifdef Q_OS_WIN
        for (const char *name : {"PATH", "SystemRoot"})
            bare.insert(QLatin1String(name), qEnvironmentVariable(name));
#endif
        terminal.setProcessEnvironment(bare);
        terminal.start(builtProgram(VANTREL_TERMINAL), arguments);
        QVERIFY(terminal.waitForFinished(kPatienceMs));
        QCOMPARE(terminal.exitCode(), status);
        // The usage goes where the answer goes: stdout for --help, stderr with the reason for a refusal.
        const QString out =
            QString::fromLocal8Bit(status == 0 ? terminal.readAllStandardOutput() : terminal.readAllStandardError());
        QVERIFY2(out.contains(QLatin1String("Usage:")) && out.contains(says), qPrintable(out));
    }

    void textView_data()
    {
        QTest::addColumn<QByteArrayList>("appends");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("copied");
        // What a text box did by itself, the text view does from the model's bytes. "*" stands for as many x as
        // leave six columns of a screen line: " alpha" ends it, and " beta" wraps to the next. A step acts at a screen
        // line and column of the view; "cut" makes the pane keep 32 bytes and appends 13, which cuts its first line.
        QTest::newRow("a word wrapped at the view's width, double-clicked")
            << QByteArrayList{"* alpha beta\r\n"} << "double 1,1"
            << "beta";
        QTest::newRow("a word longer than the view's width wrapped at it, dragged over")
            << QByteArrayList{"**\r\n"} << "press 0,0 move 1,2 release 1,2"
            << "*xxxxxxxx";
        QTest::newRow("a double-click takes letters and digits, never the punctuation beside them")
            << QByteArrayList{"VER 3.1,SIM\r\n"} << "double 0,9"
            << "SIM";
        QTest::newRow("a triple-click takes all of a wrapped line and its break")
            << QByteArrayList{"* alpha beta\r\n", "next"} << "triple 1,2"
            << "* alpha beta\n";
        QTest::newRow("CR LF split across appends, a lone CR, then Select All")
            << QByteArrayList{"OK\r", "\nnext\r", "end\r", "\n"} << "all"
            << "OK\nnext\nend\n";
        QTest::newRow("a drag extended by Shift+click, across a cut, keeps what is kept")
            << QByteArrayList{"line one\r\nline two\r\n"} << "press 0,5 move 1,2 release 1,2 shift 1,6 cut"
            << "line t";
    }
    void textView()
    {
        QFETCH(QByteArrayList, appends);
        QFETCH(QString, steps);
        QFETCH(QString, copied);
        TextBox &box = m_h->udp.tbReceiveData;
        PaneText *text = pane();
        QApplication::clipboard()->clear();
        const QByteArray fill(text->columns() - 6, 'x');
        for (QByteArray bytes : appends) {
            box.appendReceived(bytes.replace('*', fill), m_h->system.clock);
            m_window->flush();
        }
        QWidget *view = text->viewport();
        const qreal width = QFontMetricsF(text->font()).horizontalAdvance(QLatin1Char('0'));
        const int height = text->rowHeight();
        const QStringList words = steps.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QString &step = words[i];
            QPoint at;
            if (step == QLatin1String("cut")) {
                box.setMaxBytes(32);
                box.appendReceived("line three!\r\n", m_h->system.clock);
                m_window->flush();
                continue;
            } else if (step == QLatin1String("all")) {
                trigger("selectAll");
                continue;
            }
            const QStringList place = words[++i].split(QLatin1Char(','));
            at = QPoint(4 + int((place[1].toInt() + 0.25) * width), 4 + place[0].toInt() * height + height / 2);
            if (step == QLatin1String("press"))
                QTest::mousePress(view, Qt::LeftButton, {}, at);
            else if (step == QLatin1String("move"))
                QTest::mouseMove(view, at);
            else if (step == QLatin1String("release"))
                QTest::mouseRelease(view, Qt::LeftButton, {}, at);
            else if (step == QLatin1String("shift"))
                QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, at);
            else if (step == QLatin1String("double"))
                QTest::mouseDClick(view, Qt::LeftButton, {}, at);
            else if (step == QLatin1String("triple"))
                QTest::mouseDClick(view, Qt::LeftButton, {}, at), QTest::mouseClick(view, Qt::LeftButton, {}, at);
        }
        trigger("copy");
        QCOMPARE(QApplication::clipboard()->text(), copied.replace(QLatin1Char('*'), QString::fromLatin1(fill)));
        // The selection is painted over just what Copy takes: a cell for each character and each line break.
        const QImage shot = view->grab().toImage();
        qreal painted = 0;
        // Looked at along each screen line's top pixel row, above the glyphs of every font.
        for (int y = 1; y < shot.height(); y += height)
            for (int x = 0; x < shot.width(); ++x)
                painted += shot.pixelColor(x, y) == text->palette().color(QPalette::Highlight) ? 1 / width : 0;
        QCOMPARE(qRound(painted), copied.size());
        // A screen reader reads the pane's text, a character a byte: CR LF as both.
        QAccessibleTextInterface *read = QAccessible::queryAccessibleInterface(text)->textInterface();
        QCOMPARE(read->text(0, read->characterCount()).remove(QLatin1Char('\r')), text->toPlainText());
    }

    void paneKeepsWhatTheModelKeeps()
    {
        TextBox &box = m_h->udp.tbReceiveData;
        // Lines whose CR LF falls between two appends, some shown at once and some gathered for a later frame.
        QByteArray chunk;
        for (int i = 0; chunk.size() < 100000; ++i)
            chunk += "\xCE\xCA " + QByteArray::number(i) + QByteArray(50, '.') + "\r\n\r";
        // Trims past the limit, half as much again. Chunk n comes at 10:00 and n seconds; the time-stamp view is on
        // for the first trims, and the text is being read far from its end for the last ones.
        const int chunks = (kReceivePaneLimit + kReceivePaneLimit / 2) / chunk.size();
        for (int n = 0; n < chunks; ++n) {
            box.appendReceived("\n" + QByteArray::number(n) + chunk, m_h->system.clock + n * 1000);
            if (n % 7 == 0)
                m_window->flush();
            if (n == chunks / 2 || n == chunks * 3 / 4)
                trigger("timeStamps");
            if (n == chunks * 3 / 4)
                pane()->verticalScrollBar()->setValue(10);
        }
        m_window->flush();
        QVERIFY(box.Text().size() <= kReceivePaneLimit);
        QString kept = Charset::decode(box.Text());
        kept.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QVERIFY(pane()->toPlainText() == kept);
        QCOMPARE(pane()->verticalScrollBar()->value(), 10);
        pane()->verticalScrollBar()->setValue(pane()->verticalScrollBar()->maximum());
        trigger("timeStamps");

        // The times were trimmed with the text: the first line of chunk n has 10:00 and n seconds, and no other line
        // has a time. The view followed the end all along.
        QStringList rows = kept.split(QLatin1Char('\n'));
        for (QString &row : rows) {
            if (const int n = row.indexOf(QStringLiteral("ОК 0.")); n > 0)
                row.prepend(QTime(10, 0).addSecs(row.left(n).toInt()).toString(u"hh:mm:ss.000 "));
            else if (!row.isEmpty())
                row.prepend(PaneRender::noStamp());
        }
        QVERIFY(copied() == rows.join(QLatin1Char('\n')));
        const QScrollBar *follows = receive()->rows()->verticalScrollBar();
        QCOMPARE(follows->value(), follows->maximum());

        // Save As writes the model's bytes as they are, nothing when the dialog was cancelled, or tells why not.
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("pane.txt"));
        m_h->dialog.cancel = true;
        trigger("saveAs");
        QVERIFY(!QFile::exists(m_h->dialog.answer));
        m_h->dialog.cancel = false;
        trigger("saveAs");
        QVERIFY(m_h->file(QStringLiteral("pane.txt")) == box.Text());
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("no/such/folder/pane.txt"));
        trigger("saveAs");
        QVERIFY(m_h->boxes.boxes.size() == 1 && m_h->boxes.boxes[0].title.startsWith(QLatin1String("Error#")));
    }
};

QTEST_MAIN(TestGui)
#include "tst_gui.moc"
