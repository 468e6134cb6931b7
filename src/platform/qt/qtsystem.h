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

private:
    std::mt19937 m_random;
};
