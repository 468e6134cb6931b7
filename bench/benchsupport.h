// SPDX-License-Identifier: MIT
#pragma once

#include "app/element.h"
#include "platform/commondialog.h"
#include "platform/messagebox.h"
#include "platform/qt/qtsystem.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>
#include <semaphore>
#include <thread>
#include <vector>

/// Answers every file dialog with one path.
class BenchDialog : public CommonDialog
{
public:
    void setFilter(const QString &) override {}
    void showOpen() override {}
    void showSave() override {}
    QString fileName() const override { return answer; }
    bool cancelled() const override { return false; }
    QString answer;
};

/// A benchmark has nobody to click a box away: it prints it.
class BenchMessageBox : public MessageBox
{
public:
    void show(const QString &text, Icon, const QString &title) override
    {
        std::fprintf(stderr, "box %s: %s\n", qPrintable(title), qPrintable(text));
        ++count;
    }
    int count = 0;
};

/// The real clock, but no ARP flush: a benchmark must not touch the machine's network tables.
class BenchSystem : public QtSystem
{
public:
    bool startCommand(const QString &, const QStringList &) override { return true; }
};

/// The view as it was before it had a status line: every change of the model reaches it but the status line's.
/// Set as the model's observer in place of the window, it measures what the status line costs.
class WithoutStatusLine : public ElementObserver
{
public:
    explicit WithoutStatusLine(ElementObserver &view) : m_view(view) {}
    void changed(Element &element, Prop prop) override { m_view.changed(element, prop); }
    void appended(TextBox &box, const QByteArray &bytes) override { m_view.appended(box, bytes); }
    void trimmed(TextBox &box, const QByteArray &removed) override { m_view.trimmed(box, removed); }

private:
    ElementObserver &m_view;
};

/// Peak resident memory of this process so far, in MiB.
double peakMemoryMiB();

/// Resident memory of this process now (VmRSS), in MiB.
double residentMemoryMiB();

/// What the resident memory of a soak did, sampled at the end of each minute (`minutes[0]` before it began): the
/// lowest and the highest once the first minute was over, the spread between them, and the peak of the whole run.
void printSoakMemory(const std::vector<double> &minutes);

/// Processor time the calling thread has used, user and system, in seconds: what the terminal's own thread
/// spends, whatever a sender thread beside it or the rest of the machine does.
double threadCpuSeconds();

/// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether `done` held.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

/// Sends datagrams of `size` bytes to 127.0.0.1:`port` from a thread of its own, flat out or paced; each is a
/// console line ending in CR LF, or in LF alone with `bareLf`.
class UdpFlood
{
public:
    UdpFlood(quint16 port, int size, bool bareLf = false);
    ~UdpFlood();
    /// `rate` datagrams per second, 0 for as fast as the sender can.
    void start(int count, int rate);
    void wait();
    bool finished() const { return m_finished; }
    int sent() const { return m_sent; }
    /// The port datagrams leave from.
    quint16 sourcePort() const { return m_sourcePort; }

private:
    void run(int count, int rate);
    int m_fd = -1;
    quint16 m_port;
    quint16 m_sourcePort = 0;
    int m_size;
    bool m_bareLf;
    std::thread m_thread;
    std::atomic<int> m_sent{0};
    std::atomic<bool> m_finished{false};
};

/// Runs the batch command (build/bin/vantrel) with the arguments and waits for it, without turning this thread's
/// event loop: the device must run on a thread of its own. Its wall time in seconds, start-up included, or -1
/// when it did not end with 0 (its stderr, progress and all, then goes to ours).
double runBatch(const QStringList &arguments);
/// The same for any program: the batch command of another build, or one run through a launcher such as Wine.
double runProgram(const QString &program, const QStringList &arguments);

/// Contents of a file; empty when it cannot be read.
QByteArray readFile(const QString &path);

/// A UDP socket bound to a free port on 127.0.0.1; its port in `*port`.
int boundLoopbackSocket(quint16 *port);

/// A blocking UDP socket that talks to 127.0.0.1:`port` alone, each receive waiting at most 5 s.
int connectedLoopbackSocket(quint16 port);

/// A simulated device on a thread of its own, so that a blocking client can talk to it and its pacing costs
/// the terminal's thread nothing. The body runs on that thread: it builds and starts the device and calls
/// serve() with the device's name (its UDP port or the path of its pseudo-terminal; empty when it did not
/// start, with the reason in `error`), which runs the thread's event loop until the object goes.
class DeviceThread : public QThread
{
public:
    explicit DeviceThread(std::function<void(DeviceThread &)> body) : m_body(std::move(body)) {}
    ~DeviceThread() override
    {
        quit();
        wait();
    }
    /// Starts the device and returns its name once it is up.
    QString startDevice()
    {
        start();
        m_ready.acquire();
        return m_name;
    }
    void serve(const QString &name)
    {
        m_name = name;
        m_ready.release();
        if (!name.isEmpty())
            exec();
    }
    QString error;

protected:
    void run() override { m_body(*this); }

private:
    std::function<void(DeviceThread &)> m_body;
    std::binary_semaphore m_ready{0};
    QString m_name;
};

/// The UDP simulated device at a free port of 127.0.0.1, on a thread of its own.
void serveUdpDevice(DeviceThread &thread);
