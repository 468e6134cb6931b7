// SPDX-License-Identifier: MIT
// The real window over the model on fakes: widgets against their elements, keys in the command line, the
// receive pane's line breaks and scrolling, and a screenshot.
#include "harness.h"

#include "app/charset.h"
#include "gui/demo.h"
#include "gui/mainwindow.h"
#include "gui/panerows.h"
#include "gui/receivepane.h"
#include "gui/widgets.h"

#include <QtTest>
#include <QtWidgets>

#include <ctime>
#include <memory>

namespace
{
/// Where the window shows each element of its client area, in window coordinates (a group box's offset added),
/// and its caption or text at start. Typed from the window's drawing, not taken from the model's element table,
/// so that a wrong number there fails.
struct Placed {
    const char *name;
    QRect rect;
    QString caption;
};
const Placed kLayout[] = {
    {"Frame1", {0, 0, 262, 57}, "Link"},
    {"Label1(1)", {4, 16, 25, 17}, " Host"},
    {"ComboRemoteIP", {32, 8, 121, 21}, kDefaultAddress},
    {"Add_ip", {32, 32, 33, 17}, "Add"},
    {"Del_ip", {72, 32, 33, 17}, "Del"},
    {"SaveIP", {112, 32, 41, 17}, "Save"},
    {"YesConnect", {152, 8, 32, 32}, ""},
    {"NoConnect", {152, 16, 32, 32}, ""},
    {"cbBind", {184, 8, 65, 17}, "Connect"},
    {"Command1", {184, 32, 65, 17}, "Disconnect"},
    {"Frame2", {268, 0, 297, 57}, "Flash disk"},
    {"Label7", {276, 13, 61, 17}, "File name:"},
    {"Text2", {332, 8, 97, 19}, "SAMPLE.TXT"},
    {"Command3", {436, 8, 37, 17}, "Send"},
    {"Command4", {480, 8, 57, 17}, "Recieve"},
    {"Command5", {504, 32, 33, 17}, "End"},
    {"vbalProgressBar1", {276, 32, 221, 17}, "NO FILE"},
    {"Frame4", {0, 56, 266, 41}, "Comm's"},
    {"Label1(0)", {4, 72, 53, 17}, "Port:(1-9)"},
    {"Comm_number", {52, 72, 37, 19}, "COM3"},
    {"Pic", {92, 72, 13, 17}, ""},
    {"BTNOpenCom", {112, 72, 37, 17}, "Open"},
    {"Label10", {152, 63, 37, 17}, "speed"},
    {"Label11", {156, 80, 104, 15}, "12/24/48/96/19/115"},
    {"Option1", {188, 64, 13, 17}, "Option1"},
    {"Option2", {200, 64, 13, 17}, "Option2"},
    {"Option3", {212, 64, 13, 17}, "Option3"},
    {"Option4", {224, 64, 13, 17}, "Option4"},
    {"Option5", {236, 64, 13, 17}, "Option5"},
    {"Option6", {248, 64, 16, 17}, "Option6"},
    {"Frame5", {272, 56, 157, 41}, "Modbus RTU"},
    {"Label8", {276, 72, 29, 17}, "Addr"},
    {"Text3", {304, 72, 21, 19}, "16"},
    {"Label12", {328, 68, 33, 25}, "Via USB"},
    {"Check3", {352, 72, 13, 13}, "Check3"},
    {"Command8", {372, 72, 49, 17}, "Init Port"},
    {"Check1", {408, 56, 13, 17}, "Check1"},
    {"Frame6", {436, 56, 129, 41}, "Eth to MODBUS"},
    {"Label9", {448, 72, 25, 17}, "Addr"},
    {"Text4", {480, 72, 25, 19}, "16"},
    {"Command7", {508, 72, 45, 17}, "InitPort"},
    {"Check2", {540, 56, 13, 13}, "Check2"},
    {"Frame3", {0, 96, 485, 41}, "BASIC Files"},
    {"Command10", {4, 112, 133, 17}, "Open File and  Download"},
    {"Command9", {144, 112, 25, 17}, ">>"},
    {"Command14", {176, 112, 17, 17}, "X"},
    {"Command11", {200, 112, 93, 17}, "Save Programm"},
    {"Command12", {304, 112, 133, 17}, "New Programm - wait 20s"},
    {"Command13", {444, 112, 33, 17}, "Info"},
    {"Frame7", {488, 96, 77, 41}, ""},
    {"Command2", {504, 112, 41, 17}, "Clear"},
    {"tbReceiveData", {0, 136, 566, 553}, ""},
    {"tbSendData", {0, 688, 553, 25}, QStringLiteral("Команды набирать здесь")},
    {"Command15", {553, 689, 13, 13}, "+"},
    {"Command16", {553, 702, 13, 13}, "-"},
};
/// The laid-out client area with the status line under it.
constexpr QSize kWindow{566, 735};
/// They follow the window's size; every other element keeps its rectangle.
const QStringList kGrowing{"tbReceiveData", "tbSendData", "Command15", "Command16"};
} // namespace

class TestGui : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> m_h;
    std::unique_ptr<MainWindow> m_window;

    /// The caption or text a widget shows. Check and option boxes draw only their mark; the caption names them
    /// for accessibility.
    static QString shownText(const QWidget *w)
    {
        QString shown = w->accessibleName();
        for (const char *prop : {"title", "currentText", "plainText", "text"})
            shown += w->property(prop).toString();
        return shown;
    }

    QPlainTextEdit *pane() const
    {
        return static_cast<ReceivePane *>(m_window->widget(m_h->udp.tbReceiveData))->textView();
    }
    /// The first element whose widget disagrees with the model; empty when all agree.
    QString mismatch() const
    {
        for (const Element *e : m_h->udp.elements()) {
            QWidget *w = m_window->widget(*e);
            if (!w)
                continue; // the timer, checked by its ticks
            // Laid out below the client area, an element's widget sits in a hidden holder; the layout rows check
            // where the growing ones are.
            const QWidget *parent = e->container() ? m_window->widget(*e->container()) : w->parentWidget();
            const bool placed = kGrowing.contains(QString::fromLatin1(e->name())) || w->geometry() == e->geometry();
            bool state = w->parentWidget() == parent && w->window() == m_window.get() && placed &&
                         w->isEnabledTo(parent) == e->Enabled() && w->isVisibleTo(parent) == e->Visible() &&
                         w->toolTip() == Charset::decode(e->ToolTipText()) &&
                         (e->font() != Font::SansBold || w->font().bold());
            // The receive pane shows its text in the text view, unless another view was chosen.
            const auto *receive = dynamic_cast<const ReceivePane *>(w);
            const QWidget *text = receive ? receive->textView() : w;
            const QString shown = shownText(text);
            QByteArray expected = e->Caption();
            if (const auto *box = dynamic_cast<const TextBox *>(e)) {
                expected = box->Text();
                state &= text->property("readOnly").toBool() == box->locked();
            } else if (const auto *box = dynamic_cast<const ComboBox *>(e)) {
                expected = box->Text();
                state &= w->property("count") == box->ListCount() && w->property("currentIndex") == box->ListIndex();
            } else if (const auto *bar = dynamic_cast<const ProgressBar *>(e)) {
                expected = bar->Text();
            } else if (const auto *box = dynamic_cast<const CheckBox *>(e)) {
                state &= static_cast<QAbstractButton *>(w)->isChecked() == (box->Value() == 1);
            } else if (const auto *shape = dynamic_cast<const Shape *>(e)) {
                state &= w->grab().toImage().pixelColor(w->rect().center()) == QColor(QRgb(shape->FillColor()));
            }
            if (!state || shown != Charset::decode(expected))
                return QStringLiteral("%1 shows \"%2\"").arg(QString::fromLatin1(e->name()), shown);
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
        QTRY_COMPARE(mismatch(), QString());
        QCOMPARE(udp.ComboRemoteIP.items(), (QList<QByteArray>{"127.0.0.1", kDefaultAddress}));
        QCOMPARE(udp.tbRemotePort.Text(), QByteArray("4242"));
        QCOMPARE(static_cast<TextProgressBar *>(m_window->widget(udp.vbalProgressBar1))->shownValue(), 10);
        QCOMPARE(m_window->widget(udp.Comm_number)->palette().color(QPalette::Base), QColor(0, 255, 0));
        QTRY_VERIFY(ticks > 0);
        udp.TMRComm.setEnabled(false);
        QVERIFY(!m_window->findChild<QTimer *>(QStringLiteral("TMRComm"))->isActive());

        // A user's click shows at once.
        QTest::mouseClick(m_window->widget(udp.Option3), Qt::LeftButton, {}, QPoint(6, 8));
        QVERIFY(udp.Option3.Value() == 1 && udp.Option6.Value() == 0);
        QCOMPARE(mismatch(), QString());
        QTest::mouseClick(m_window->widget(udp.cbBind), Qt::LeftButton);
        QVERIFY(udp.YesConnect.Visible());
        QCOMPARE(mismatch(), QString());

        // The README's picture (docs/window.png): a session with the device over the link just connected.
        udp.Comm_number.setBackColor(Colour::WindowBackground);
        udp.Pic.setVisible(false);
        udp.tbReceiveData.setText({});
        pressEnter(udp, "VER");
        m_h->winsock.feedReceived("VER 3.1 SIM\r\n");
        m_window->flush();
        const QString path = QDir(m_h->previous).filePath(QStringLiteral("vantrel-window.png"));
        QVERIFY(m_window->grab().save(path));
        QVERIFY(!QImage(path).isNull());
    }

    void layout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption");
        for (const Placed &p : kLayout)
            QTest::newRow(p.name) << kWindow << p.rect << p.caption;
        QTest::newRow("statusLine") << kWindow << QRect(0, 715, 566, 20) << "not connected | 0 B sent, 0 B received";
        // Grown by 334 x 265, and shrunk to the smallest window (255 lower), which with a title bar and a taskbar
        // fits a 768-pixel-high screen at 125 %.
        const QSize grown(900, 1000), smallest(566, 480);
        QTest::newRow("tbReceiveData, grown") << grown << QRect(0, 136, 900, 818) << QString();
        QTest::newRow("tbSendData, grown") << grown << QRect(0, 953, 887, 25) << QString();
        QTest::newRow("Command15, grown") << grown << QRect(887, 954, 13, 13) << QString();
        QTest::newRow("Command16, grown") << grown << QRect(887, 967, 13, 13) << QString();
        QTest::newRow("statusLine, grown") << grown << QRect(0, 980, 900, 20) << QString();
        QTest::newRow("every other element, grown") << grown << QRect() << QString();
        QTest::newRow("tbReceiveData, smallest") << smallest << QRect(0, 136, 566, 298) << QString();
        QTest::newRow("Command16, smallest") << smallest << QRect(553, 447, 13, 13) << QString();
        QTest::newRow("statusLine, smallest") << smallest << QRect(0, 460, 566, 20) << QString();
        QTest::newRow("every other element, smallest") << smallest << QRect() << QString();
    }
    void layout()
    {
        QFETCH(QSize, size);
        QFETCH(QRect, rect);
        QFETCH(QString, caption);
        m_window->resize(size);
        QTRY_COMPARE(m_window->size(), size);
        const auto placed = [this](const QString &name) {
            const auto *w = m_window->findChild<QWidget *>(name);
            return w ? QRect(w->mapTo(m_window.get(), QPoint(0, 0)), w->size()) : QRect();
        };
        const QString name = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(','), 0, 0);
        if (name == QLatin1String("every other element")) {
            for (const Placed &p : kLayout)
                if (!kGrowing.contains(QString::fromLatin1(p.name)))
                    QCOMPARE(placed(QString::fromLatin1(p.name)), p.rect);
            return;
        }
        QCOMPARE(placed(name), rect);
        if (!caption.isNull())
            QCOMPARE(shownText(m_window->findChild<QWidget *>(name)), caption);
    }
    void layoutHasEveryElementShown()
    {
        // Every element in the client area has its row in the table; the others lie below it and stay out of
        // view however tall the window grows.
        m_window->resize(1200, 1400);
        QTRY_COMPARE(m_window->size(), QSize(1200, 1400));
        QStringList inside, listed;
        for (const Element *e : m_h->udp.elements())
            if (const QWidget *w = m_window->widget(*e))
                if (QRect(w->mapTo(m_window.get(), QPoint(0, 0)), w->size()).intersects(m_window->rect()) &&
                    w->parentWidget()->isVisible())
                    inside << QString::fromLatin1(e->name());
        for (const Placed &p : kLayout)
            listed << QString::fromLatin1(p.name);
        inside.sort();
        listed.sort();
        QCOMPARE(inside, listed);
    }

    void everyControlHasAHandler()
    {
        // A control that can be used but does nothing reads as broken. Check3 and the speed options are only
        // read (at each send and poll, and when the port opens); BTNCloseCom is never enabled.
        const QByteArrayList readOnly{"Check3", "Option1", "Option2", "Option3", "Option4", "Option5", "Option6"};
        QByteArrayList idle;
        for (Element *e : m_h->udp.elements()) {
            const bool control =
                e->kind() == Kind::Button || e->kind() == Kind::CheckBox || e->kind() == Kind::OptionButton;
            if (control && e->Enabled() && e->Visible() && !e->hasClickHandler() && !readOnly.contains(e->name()))
                idle << e->name();
        }
        QCOMPARE(idle, QByteArrayList());
        // Every control that can be reached says what it does.
        QByteArrayList unexplained;
        for (Element *e : m_h->udp.elements())
            if (QWidget *w = m_window->widget(*e);
                w && w->focusPolicy() != Qt::NoFocus && w->parentWidget()->isVisible() && w->toolTip().isEmpty())
                unexplained << e->name();
        QCOMPARE(unexplained, QByteArrayList());
        QVERIFY(!m_h->udp.BTNCloseCom.Enabled() && !m_h->udp.BTNCloseCom.hasClickHandler());
        QVERIFY(m_h->udp.TMRComm.hasTickHandler());
        QVERIFY(m_h->udp.tbSendData.hasKeyHandlers());

        // The port box names the device its port stands for, and follows what the user types.
        auto *port = static_cast<QLineEdit *>(m_window->widget(m_h->udp.Comm_number));
        QCOMPARE(port->toolTip(), QStringLiteral("/dev/fake3\nNo serial port found on this computer"));
        // Adapters plugged in since are listed when the tip is about to show, the one the box reaches marked.
        m_h->mscomm.present = {{"/dev/fake12", "USB serial", "A5028", 12}, {"/dev/fake0", "", "", 0}};
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), port->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(port, &hover);
        const QString ports = QStringLiteral("Serial ports on this computer:\nCOM12: /dev/fake12, USB serial, serial "
                                             "number A5028%1\nno number: /dev/fake0");
        QCOMPARE(port->toolTip(), "/dev/fake3\n" + ports.arg(QString()));
        port->selectAll();
        QTest::keyClicks(port, "COM12");
        QCOMPARE(port->toolTip(), "/dev/fake12\n" + ports.arg(QStringLiteral("  <- this port")));
        QTest::keyClick(port, Qt::Key_Backspace);
        QTest::keyClick(port, Qt::Key_Backspace);
        QCOMPARE(port->toolTip(), ports.arg(QString()));
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
        QCOMPARE(visited, QByteArray("Command15 Command16 ComboRemoteIP Add_ip Del_ip SaveIP cbBind Command1 "
                                     "Comm_number BTNOpenCom Option6 Command10 Command9 Command14 Command11 Command12 "
                                     "Command13 Command2 tbReceiveData tbSendData")
                              .split(' '));
        // The arrows move within the options and select the one they reach; Tab leaves the group from there.
        QWidget *speed = m_window->widget(udp.Option6);
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(udp.focus(), &udp.Option1);
        QVERIFY(udp.Option1.Value() == 1 && udp.Option6.Value() == 0 && udp.Option2.Value() == 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(udp.focus(), &udp.Command10);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(udp.focus(), &udp.Option1);
    }

    void connectUsesTheAddressShown()
    {
        UDP &udp = m_h->udp;
        udp.ComboRemoteIP.AddItem("10.0.0.77");
        m_window->flush();
        auto *edit = static_cast<QComboBox *>(m_window->widget(udp.ComboRemoteIP))->lineEdit();
        // The box completes what is typed from its list while it has the focus.
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, "10.0.0.7");
        const QString shown = edit->text();
        QCOMPARE(shown, QStringLiteral("10.0.0.77"));
        QCOMPARE(udp.ComboRemoteIP.Text(), Charset::encode(shown));
        QTest::mouseClick(m_window->widget(udp.cbBind), Qt::LeftButton);
        QCOMPARE(m_h->winsock.remoteHost, Charset::encode(shown));
    }

    void commandLineAndScrolling()
    {
        TextBox &box = m_h->udp.tbReceiveData;
        QScrollBar *bar = pane()->verticalScrollBar();
        for (int i = 0; i < 200; ++i)
            box.append("line " + QByteArray::number(i) + "\r\n");
        box.caretToEnd();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        // Scrolled up, the pane stays where the user put it, even when an arrival moves the caret to the end...
        bar->setValue(10);
        box.append("arrived\r\n");
        box.caretToEnd();
        m_window->flush();
        QCOMPARE(bar->value(), 10);

        // ...but the echo of the user's own command brings the end into view.
        m_h->connect();
        m_window->flush();
        auto *edit = static_cast<QLineEdit *>(m_window->widget(m_h->udp.tbSendData));
        QTest::keyClicks(edit, "vr");
        QTest::keyClick(edit, Qt::Key_Left);
        QTest::keyClicks(edit, "e");
        QCOMPARE(edit->cursorPosition(), 2); // typing keeps the caret where the user put it
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_h->winsock.written(), QByteArrayList{"ver\r\n"});
        // The status line shows the model's words: the silence since "ver" went out, counted each second with no
        // word from the model, then the reply's bytes.
        const auto *status = m_window->findChild<StatusLine *>(QStringLiteral("statusLine"));
        m_h->system.clock += 12'500;
        QTRY_COMPARE(status->text(), m_h->udp.statusText());
        QVERIFY(status->text().contains(QLatin1String("no reply for 12 s")));
        QVERIFY(pane()->toPlainText().endsWith(QStringLiteral("line 199\narrived\n\nver\n")));
        QCOMPARE(bar->value(), bar->maximum());
        m_h->winsock.feedReceived("VER 3.1\r\n");
        QTRY_COMPARE(status->text(), m_h->udp.statusText());
        QVERIFY(status->text().endsWith(QLatin1String("9 B received")));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("ver"));
        QCOMPARE(edit->cursorPosition(), 3);
        QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(edit->text(), QString());

        QTest::keyClicks(edit, "ver ");
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(0x0416), QStringLiteral("ж"), Qt::NoModifier);
        m_h->udp.Command2.SetFocus(); // each case button gives the command line its focus back
        QTest::mouseClick(m_window->widget(m_h->udp.Command15), Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("VER Ж"));
        QCOMPARE(m_h->udp.tbSendData.Text(), QByteArray("VER \xC6"));
        QCOMPARE(m_h->udp.focus(), &m_h->udp.tbSendData);
        m_h->udp.Command2.SetFocus();
        QTest::mouseClick(m_window->widget(m_h->udp.Command16), Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("ver ж"));
        QCOMPARE(m_h->udp.focus(), &m_h->udp.tbSendData);

        // A flash-disk command the terminal put into the command line is selected: typing replaces it.
        QVERIFY(m_h->writeFile(QStringLiteral("abc.txt"), "ABC"));
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("abc.txt"));
        QTest::mouseClick(m_window->widget(m_h->udp.Command3), Qt::LeftButton);
        QCOMPARE(edit->selectedText(), QStringLiteral("OPENWR \"SAMPLE.TXT\""));
        QTest::keyClicks(edit, "dir");
        QCOMPARE(m_h->udp.tbSendData.Text(), QByteArray("dir"));
    }

    void paneViews_data()
    {
        QTest::addColumn<QByteArrayList>("datagrams");
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("shown");
        // The datagrams come 1.234 s apart from 10:00:00 local time; each time shows where its chunk began.
        QTest::newRow("CR LF split, Windows-1251") << QByteArrayList{"\xCE\xCA\r", "\nb"} << "text"
                                                   << "ОК\nb";
        const QByteArrayList breaks{"x\ry\nz\r\nw\r", "\r", "b\n\rc"};
        QTest::newRow("CR, LF, CR LF, two lone CRs, LF CR") << breaks << "text"
                                                            << "x\ny\nz\nw\n\nb\n\nc";
        QTest::newRow("the same with time stamps")
            << breaks << "stamps"
            << "10:00:00.000 x\n             y\n             z\n             w\n10:00:01.234 \n10:00:02.468 b\n\n"
               "             c";
        QTest::newRow("a line in two chunks has the first one's time")
            << QByteArrayList{"VER 3.1\r\n", "par", "tial\r\n"} << "stamps"
            << "10:00:00.000 VER 3.1\n10:00:01.234 partial\n";
        const QByteArrayList reply{"VER 3.1\r\n", "\xCE\xCA\r\nline\r\n"};
        QTest::newRow("hex") << reply << "hex"
                             << "00000000  56 45 52 20 33 2E 31 0D  0A CE CA 0D 0A 6C 69 6E  VER 3.1..ОК..lin\n"
                                "00000010  65 0D 0A" +
                                    QString(42, QLatin1Char(' ')) + "e..";
        QTest::newRow("hex with time stamps")
            << reply << "hex stamps"
            << "10:00:00.000 00000000  56 45 52 20 33 2E 31 0D  0A CE CA 0D 0A 6C 69 6E  VER 3.1..ОК..lin\n"
               "             00000010  65 0D 0A" +
                   QString(42, QLatin1Char(' ')) + "e..";
    }
    void paneViews()
    {
        QFETCH(QByteArrayList, datagrams);
        QFETCH(QString, view);
        // Each datagram is shown before the next arrives, so that a CR LF is split between two flushes.
        m_h->connect();
        for (const QByteArray &bytes : datagrams) {
            m_h->winsock.feedReceived(bytes);
            m_h->system.clock += 1234;
            m_window->flush();
        }
        auto *receive = static_cast<ReceivePane *>(m_window->widget(m_h->udp.tbReceiveData));
        if (view.contains(QLatin1String("hex")))
            receive->findChild<QAction *>(QStringLiteral("hexView"))->trigger();
        if (view.contains(QLatin1String("stamps")))
            receive->findChild<QAction *>(QStringLiteral("timeStamps"))->trigger();
        QStringList rows;
        for (qsizetype row = 0; row < receive->rows()->rowCount(); ++row)
            rows << receive->rows()->rowText(row);
        QTEST(view == QLatin1String("text") ? pane()->toPlainText() : rows.join(QLatin1Char('\n')), "shown");
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
        QTest::newRow("host port out of range")
            << QStringList{"--host", "10.0.0.7:65536"} << 1 << "--host takes ADDR or ADDR:PORT";
        QTest::newRow("remote port not a number")
            << QStringList{"--remote-port", "1l1"} << 1 << "--remote-port takes a port from 1 to 65535";
        QTest::newRow("com without a path") << QStringList{"--com", "3"} << 1 << "--com takes N=PATH";
        QTest::newRow("workdir missing") << QStringList{"--workdir", "no/such/folder"} << 1 << "--workdir names";
    }
    void launchOptionsRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        QProcess terminal;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(display));
        terminal.setProcessEnvironment(environment);
        terminal.start(QStringLiteral(VANTREL_TERMINAL), arguments);
        QVERIFY(terminal.waitForFinished(60000));
        QCOMPARE(terminal.exitStatus(), QProcess::NormalExit);
        QCOMPARE(terminal.exitCode(), status);
        // The usage goes where the answer goes: stdout for --help, stderr with the reason for a refusal.
        const QString out =
            QString::fromLocal8Bit(status == 0 ? terminal.readAllStandardOutput() : terminal.readAllStandardError());
        QVERIFY2(out.contains(QLatin1String("Usage:")) && out.contains(says), qPrintable(out));
    }

    void paneKeepsWhatTheModelKeeps()
    {
        TextBox &box = m_h->udp.tbReceiveData;
        // Lines whose CR LF falls between two appends, some shown at once and some gathered for a later frame.
        QByteArray chunk;
        for (int i = 0; chunk.size() < 100000; ++i)
            chunk += "\xCE\xCA " + QByteArray::number(i) + QByteArray(50, '.') + "\r\n\r";
        // Two trims: past the limit, and past it again from the three quarters kept.
        // Chunk n comes at 10:00 and n seconds; the time-stamp view is on for the first trim.
        auto *receive = static_cast<ReceivePane *>(m_window->widget(box));
        const int chunks = (kReceivePaneLimit + kReceivePaneLimit / 2) / chunk.size();
        for (int n = 0; n < chunks; ++n) {
            box.appendReceived("\n" + QByteArray::number(n) + chunk, m_h->system.clock + n * 1000);
            if (n % 7 == 0)
                m_window->flush();
            if (n == chunks / 2)
                receive->setView(false, true);
        }
        m_window->flush();
        QVERIFY(box.Text().size() <= kReceivePaneLimit);
        QString kept = Charset::decode(box.Text());
        kept.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QCOMPARE(pane()->document()->characterCount(), kept.size() + 1);
        QVERIFY(pane()->toPlainText() == kept);

        // The times were trimmed with the text: each chunk's first line has its own, and no other line has one.
        const PaneRows *rows = receive->rows();
        QCOMPARE(rows->rowCount(), kept.count(QLatin1Char('\n')) + 1);
        static const QRegularExpression chunkStart(QStringLiteral("^(\\d+)ОК 0\\."));
        int stamped = 0;
        for (qsizetype row = 0; row < rows->rowCount(); ++row) {
            const QString text = rows->rowText(row);
            const QRegularExpressionMatch first = chunkStart.match(text.mid(13));
            const QString stamp =
                first.hasMatch() ? QTime(10, 0).addSecs(first.captured(1).toInt()).toString(u"hh:mm:ss.000 ") : "";
            if (!text.startsWith(stamp.isEmpty() ? QStringLiteral("             ") : stamp) && !text.isEmpty())
                QFAIL(qPrintable(QStringLiteral("row %1 reads \"%2\"").arg(row).arg(text)));
            stamped += first.hasMatch();
        }
        QVERIFY(stamped > 10);

        // Save As writes the model's bytes as they are, or tells why it could not.
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("pane.txt"));
        receive->findChild<QAction *>(QStringLiteral("saveAs"))->trigger();
        QVERIFY(m_h->file(QStringLiteral("pane.txt")) == box.Text());
        m_h->dialog.answer = m_h->dir.filePath(QStringLiteral("no/such/folder/pane.txt"));
        receive->findChild<QAction *>(QStringLiteral("saveAs"))->trigger();
        QCOMPARE(m_h->boxes.boxes.size(), 1);
        QVERIFY(m_h->boxes.boxes[0].title.startsWith(QLatin1String("Error#")));
    }
};

QTEST_MAIN(TestGui)
#include "tst_gui.moc"
