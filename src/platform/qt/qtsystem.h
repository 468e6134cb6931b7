// SPDX-License-Identifier: MIT
#pragma once

#include "platform/system.h"

#include <random>

/// The clock, the random generator, sleeping and starting commands, from Qt.
class QtSystem : public System
{
public:
    QByteArray nowText() const override;
    qint64 clockMs() const override;
    qint64 clockUs() const override;
    void randomize() override;
    double rnd() override;
    void sleep(int ms) override;
    bool startCommand(const QString &program, const QStringList &arguments) override;
    /// VANTREL_RUNTIME_DIR when set (the tests give each run a folder of its own); else the user's runtime folder
    /// on Linux ($XDG_RUNTIME_DIR), and the user's temporary folder where there is none (Windows, or no session).
    QString runtimeFolder() const override;

private:
    std::mt19937 m_random;
};
