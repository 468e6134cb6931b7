// SPDX-License-Identifier: MIT
#include "headless.h"

#include <cstdio>

void StderrMessageBox::show(const QString &text, Icon icon, const QString &title)
{
    static const QLatin1String failureTitle("Error#");
    const QString box = title + QStringLiteral(": ") + text;
    ++m_count;
    if (icon == Critical) {
        ++m_failures;
        m_lastNumber = title.startsWith(failureTitle) ? title.mid(failureTitle.size()).toInt() : 0;
        m_lastBox = box;
        m_lastText = text;
    }
    if (!m_hushed || icon == Critical) {
        std::fprintf(stderr, "vantrel: %s\n", qPrintable(box));
        std::fflush(stderr);
    }
    if (shown)
        shown();
}
