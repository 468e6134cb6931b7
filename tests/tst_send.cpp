// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestSend : public QObject
{
    Q_OBJECT
private slots:
    void enter_data();
    void enter();
    void udpSendResult_data();
    void udpSendResult();
    void historyWalk_data();
    void historyWalk();
    void storeAfterRecall_data();
    void storeAfterRecall();
};

namespace
{
void pressEnter(Harness &h)
{
    qint16 key = 13;
    h.udp.tbSendData_KeyPress(key);
    QCOMPARE(key, qint16(0));
}

void enterLine(Harness &h, const QByteArray &line)
{
    h.udp.tbSendData.setText(line);
    pressEnter(h);
}

/// Presses a key in the command line; returns the key code the handler leaves.
qint16 keyDown(Harness &h, qint16 code)
{
    h.udp.tbSendData_KeyDown(code, 0);
    return code;
}
} // namespace

void TestSend::enter_data()
{
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<bool>("failSend");
    QTest::addColumn<qint16>("wrap");
    QTest::addColumn<QByteArray>("text4");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<QByteArray>("logged");
    QTest::addColumn<QByteArray>("pane");
    QTest::addColumn<QByteArray>("left"); // what the command line holds afterwards

    const QByteArray echo = "old\r\nVER\r\n";
    QTest::newRow("plain") << true << false << qint16(0) << QByteArray("16") << QByteArray("VER")
                           << QByteArrayList{"VER\r\n"} << QByteArray("VER\r\n") << echo << QByteArray();
    QTest::newRow("wrapped") << true << false << qint16(1) << QByteArray("16") << QByteArray("VER")
                             << QByteArrayList{"MDC 16,VER\r\n"} << QByteArray("VER\r\n") << echo << QByteArray();
    QTest::newRow("wrapped, empty address")
        << true << false << qint16(1) << QByteArray() << QByteArray("VER") << QByteArrayList{"MDC ,VER\r\n"}
        << QByteArray("VER\r\n") << echo << QByteArray();
    QTest::newRow("empty line") << true << false << qint16(0) << QByteArray("16") << QByteArray()
                                << QByteArrayList{"\r\n"} << QByteArray("\r\n") << QByteArray("old\r\n\r\n")
                                << QByteArray();
    QTest::newRow("8-bit bytes") << true << false << qint16(0) << QByteArray("16") << QByteArray("\xC0\x01\xFF")
                                 << QByteArrayList{"\xC0\x01\xFF\r\n"} << QByteArray("\xC0\x01\xFF\r\n")
                                 << QByteArray("old\r\n\xC0\x01\xFF\r\n") << QByteArray();
    QTest::newRow("send fails: echoed and logged all the same")
        << true << true << qint16(0) << QByteArray("16") << QByteArray("VER") << QByteArrayList{}
        << QByteArray("VER\r\n") << echo << QByteArray();
    QTest::newRow("no link") << false << false << qint16(0) << QByteArray("16") << QByteArray("VER") << QByteArrayList{}
                             << QByteArray() << QByteArray("old\r\n") << QByteArray("VER");
}

void TestSend::enter()
{
    QFETCH(bool, linkUp);
    QFETCH(bool, failSend);
    QFETCH(qint16, wrap);
    QFETCH(QByteArray, text4);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArrayList, sent);
    QFETCH(QByteArray, logged);
    QFETCH(QByteArray, pane);
    QFETCH(QByteArray, left);
    Harness h;
    h.udp.Form_Load();
    if (linkUp)
        h.connect();
    if (failSend)
        h.winsock.injectError();
    h.udp.Check2.setValue(wrap);
    h.udp.Text4.setText(text4);
    h.udp.tbReceiveData.setText("old");
    const QByteArray logBefore = h.file("Terminal.log");
    enterLine(h, typed);
    QCOMPARE(h.winsock.written(), sent);
    QCOMPARE(h.file("Terminal.log"), logBefore + logged);
    QCOMPARE(h.udp.tbReceiveData.Text(), pane);
    QCOMPARE(h.udp.tbReceiveData.SelStart(), qint32(pane.size()));
    QCOMPARE(h.udp.tbSendData.Text(), left);
    QCOMPARE(h.udp.CmdHistory[1], typed);
    QCOMPARE(h.udp.CmdHistory[2], QByteArray());
    QCOMPARE(h.udp.RetVal, qint16(linkUp && !failSend ? 1 : 0));
}

void TestSend::udpSendResult_data()
{
    QTest::addColumn<bool>("bound");
    QTest::addColumn<qint16>("wrap");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint16>("result");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::newRow("not bound") << false << qint16(0) << QByteArray("VER\r\n") << qint16(0) << QByteArrayList{};
    QTest::newRow("plain, as given") << true << qint16(0) << QByteArray("A") << qint16(1) << QByteArrayList{"A"};
    QTest::newRow("wrapped, only a line end")
        << true << qint16(1) << QByteArray("\r\n") << qint16(1) << QByteArrayList{"MDC 16,\r\n"};
    QTest::newRow("wrapped, too short") << true << qint16(1) << QByteArray("A") << qint16(0) << QByteArrayList{};
    QTest::newRow("wrapped, empty") << true << qint16(1) << QByteArray() << qint16(0) << QByteArrayList{};
}

void TestSend::udpSendResult()
{
    QFETCH(bool, bound);
    QFETCH(qint16, wrap);
    QFETCH(QByteArray, text);
    QFETCH(qint16, result);
    QFETCH(QByteArrayList, sent);
    Harness h;
    h.udp.Form_Load();
    if (bound)
        h.connect();
    h.udp.Check2.setValue(wrap);
    QCOMPARE(h.udp.UDP_Send(text), result);
    QCOMPARE(h.winsock.written(), sent);
}

void TestSend::historyWalk_data()
{
    QTest::addColumn<QByteArrayList>("entered");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("keys"); // U for Up, D for Down
    QTest::addColumn<QByteArrayList>("shown");

    const QByteArrayList abc{"A", "B", "C"};
    QTest::newRow("up to the oldest and beyond")
        << abc << QByteArray() << QByteArray("UUUU") << QByteArrayList{"C", "B", "A", "A"};
    QTest::newRow("back down past the newest")
        << abc << QByteArray() << QByteArray("UUUUDDDD") << QByteArrayList{"C", "B", "A", "A", "B", "C", "", ""};
    QTest::newRow("down with nothing recalled empties the line")
        << abc << QByteArray("typed") << QByteArray("D") << QByteArrayList{""};
    QTest::newRow("up with an empty history changes nothing")
        << QByteArrayList{} << QByteArray("typed") << QByteArray("U") << QByteArrayList{"typed"};

    QByteArrayList many;
    for (int i = 1; i <= 33; ++i)
        many << "L" + QByteArray::number(i);
    QByteArrayList oldest;
    for (int i = 33; i >= 2; --i)
        oldest << "L" + QByteArray::number(i);
    oldest << "L2";
    QTest::newRow("33 lines: the first is lost") << many << QByteArray() << QByteArray(33, 'U') << oldest;
}

void TestSend::historyWalk()
{
    QFETCH(QByteArrayList, entered);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, keys);
    QFETCH(QByteArrayList, shown);
    Harness h;
    h.udp.Form_Load();
    h.connect();
    for (const QByteArray &line : entered)
        enterLine(h, line);
    h.udp.tbSendData.setText(typed);
    h.udp.tbSendData.caretToEnd();
    for (int i = 0; i < keys.size(); ++i) {
        QCOMPARE(keyDown(h, keys[i] == 'U' ? 38 : 40), qint16(0));
        QCOMPARE(h.udp.tbSendData.Text(), shown[i]);
        QCOMPARE(h.udp.tbSendData.SelStart(), qint32(shown[i].size()));
    }
}

void TestSend::storeAfterRecall_data()
{
    QTest::addColumn<QList<qint16>>("keys"); // pressed after recalling "B"
    QTest::addColumn<QByteArray>("retyped");
    QTest::addColumn<bool>("storedAgain");
    QTest::newRow("no key") << QList<qint16>{} << QByteArray() << false;
    QTest::newRow("letter") << QList<qint16>{65} << QByteArray() << false;
    QTest::newRow("Home") << QList<qint16>{36} << QByteArray() << false;
    QTest::newRow("Backspace") << QList<qint16>{8} << QByteArray("B") << true;
    QTest::newRow("Delete") << QList<qint16>{46} << QByteArray() << true;
    QTest::newRow("Left") << QList<qint16>{37} << QByteArray() << true;
    QTest::newRow("Right") << QList<qint16>{39} << QByteArray() << true;
    QTest::newRow("down to the empty slot, typed anew") << QList<qint16>{40, 40} << QByteArray("B") << true;
}

void TestSend::storeAfterRecall()
{
    QFETCH(QList<qint16>, keys);
    QFETCH(QByteArray, retyped);
    QFETCH(bool, storedAgain);
    Harness h;
    h.udp.Form_Load();
    h.connect();
    for (const char *line : {"A", "B", "C"})
        enterLine(h, line);
    keyDown(h, 38);
    keyDown(h, 38);
    for (qint16 key : keys) {
        const qint16 left = keyDown(h, key);
        if (key != 38 && key != 40)
            QCOMPARE(left, key); // the key still does its ordinary editing
    }
    if (!retyped.isEmpty())
        h.udp.tbSendData.setText(retyped);
    pressEnter(h);
    QCOMPARE(h.winsock.written().last(), QByteArray("B\r\n"));
    const QByteArrayList history{h.udp.CmdHistory.begin() + 1, h.udp.CmdHistory.begin() + 5};
    QCOMPARE(history, storedAgain ? QByteArrayList({"B", "C", "B", "A"}) : QByteArrayList({"C", "B", "A", ""}));
    QCOMPARE(h.udp.HistIndex, qint16(0));
    QCOMPARE(h.udp.HistRecalled, qint16(0));
}

QTEST_GUILESS_MAIN(TestSend)
#include "tst_send.moc"
