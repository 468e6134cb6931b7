// SPDX-License-Identifier: MIT
#include "output.h"

#include "app/charset.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace
{
/// A terminal is redrawn at most this often: a transfer moves its figures tens of thousands of times a second.
constexpr int kRedrawMs = 100;
constexpr int kBarWidth = 30;
bool g_quiet = false;

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

/// The device's reply a line each, without the line ends, as it sent them.
QJsonArray replyLines(const QByteArray &reply)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = Charset::decode(reply).split(lineEnd);
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return QJsonArray::fromStringList(lines);
}

QJsonObject tryObject(const Try &t)
{
    return {
        {QStringLiteral("started"), t.started},
        {QStringLiteral("seconds"), qRound(t.seconds * 1000) / 1000.0},
        {QStringLiteral("exit"), int(t.exit)},
        {QStringLiteral("result"), QLatin1String(ExitCode::word(t.exit))},
        {QStringLiteral("error"), orNull(t.error)},
        {QStringLiteral("bytes_sent"), t.bytesSent},
        {QStringLiteral("bytes_received"), t.bytesReceived},
    };
}
} // namespace

namespace Output
{
void keepBytes()
{
#ifdef Q_OS_WIN
    // A text-mode stdout would write each LF of the device's text as CR LF.
    _setmode(fileno(stdout), _O_BINARY);
#endif
}

void reply(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void message(const QString &text)
{
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void note(const QString &text)
{
    if (!g_quiet)
        message(text);
}

void setQuiet(bool quiet)
{
    g_quiet = quiet;
}

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QByteArray json(const Report &report)
{
    QJsonArray tries;
    for (const Try &t : report.tries)
        tries.append(tryObject(t));
    const QJsonObject object{
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("verb"), report.verb},
        {QStringLiteral("target"), report.target},
        {QStringLiteral("device"), report.device},
        {QStringLiteral("link"), report.link},
        {QStringLiteral("exit"), int(report.exit)},
        {QStringLiteral("result"), QLatin1String(ExitCode::word(report.exit))},
        {QStringLiteral("changed"), report.changed},
        {QStringLiteral("check"), report.check},
        {QStringLiteral("bytes_sent"), report.bytesSent},
        {QStringLiteral("bytes_received"), report.bytesReceived},
        {QStringLiteral("wire_bytes"), report.bytesSent + report.bytesReceived},
        {QStringLiteral("payload_bytes"), report.payloadBytes},
        {QStringLiteral("local_file"), orNull(report.localFile)},
        {QStringLiteral("device_file"), orNull(report.deviceFile)},
        {QStringLiteral("started"), report.started},
        {QStringLiteral("seconds"), qRound(report.seconds * 1000) / 1000.0},
        {QStringLiteral("reply"), Charset::decode(report.reply)},
        {QStringLiteral("reply_lines"), replyLines(report.reply)},
        {QStringLiteral("rejected"), report.rejectedLine == 0
                                         ? QJsonValue()
                                         : QJsonObject{{QStringLiteral("line"), report.rejectedLine},
                                                       {QStringLiteral("text"), Charset::decode(report.rejectedText)}}},
        {QStringLiteral("failure"), report.failureNumber == 0
                                        ? QJsonValue()
                                        : QJsonObject{{QStringLiteral("number"), report.failureNumber},
                                                      {QStringLiteral("text"), report.failureText}}},
        {QStringLiteral("error"), orNull(report.error)},
        {QStringLiteral("tries"), tries},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
} // namespace Output

Progress::Progress(QString what, QString unit, qint64 step)
    : m_what(std::move(what)), m_unit(std::move(unit)), m_step(qMax<qint64>(1, step)), m_tty(isatty(fileno(stderr)))
{
}

void Progress::update(qint64 done)
{
    m_done = done;
    if (m_tty) {
        if (!m_drawn || m_sinceDraw.hasExpired(kRedrawMs))
            draw();
        return;
    }
    const qint64 mark = m_total > 0 ? qMin<qint64>(10, done * 10 / m_total) : done / m_step;
    if (mark <= m_shown || mark == 0)
        return;
    m_shown = mark;
    draw();
}

void Progress::finish()
{
    if (m_tty) {
        if (m_drawn) {
            draw();
            std::fputc('\n', stderr);
        }
    } else if (m_total <= 0 && m_done > 0 && m_done > qMax<qint64>(m_shown, 0) * m_step) {
        draw(); // the last figure of a whole that was not known
    }
    std::fflush(stderr);
}

void Progress::draw()
{
    if (g_quiet)
        return;
    QString text;
    if (m_total > 0) {
        const qint64 percent = qMin<qint64>(100, m_done * 100 / m_total);
        text = QStringLiteral("%1 %2% (%3 of %4 %5)").arg(m_what).arg(percent).arg(m_done).arg(m_total).arg(m_unit);
        if (m_tty) {
            const int filled = int(percent * kBarWidth / 100);
            text = QStringLiteral("%1 [%2%3] %4% %5/%6 %7")
                       .arg(m_what, QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char(' ')))
                       .arg(percent)
                       .arg(m_done)
                       .arg(m_total)
                       .arg(m_unit);
        }
    } else {
        text = QStringLiteral("%1 %2 %3").arg(m_what).arg(m_done).arg(m_unit);
    }
    if (m_tty) {
        std::fprintf(stderr, "\rvantrel: %s\033[K", qPrintable(text));
        m_drawn = true;
        m_sinceDraw.start();
    } else {
        std::fprintf(stderr, "vantrel: %s\n", qPrintable(text));
    }
    std::fflush(stderr);
}
