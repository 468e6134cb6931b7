// SPDX-License-Identifier: MIT
#include "headless.h"

#include <cstdio>

void StderrMessageBox::show(const QString &text, Icon, const QString &title)
{
    static const QLatin1String failureTitle("Error#");
    m_lastNumber = title.startsWith(failureTitle) ? title.mid(failureTitle.size()).toInt() : 0;
    m_lastBox = title + QStringLiteral(": ") + text;
    ++m_count;
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(m_lastBox));
    std::fflush(stderr);
    if (shown)
        shown();
}
