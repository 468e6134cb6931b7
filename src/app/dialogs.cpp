// SPDX-License-Identifier: MIT
#include "window.h"

#include "platform/commondialog.h"
#include "platform/messagebox.h"

void UDP::showFailure(const Failure &failure)
{
    const bool gathering = pauseLogBatch();
    m_messageBox.show(failure.description(), MessageBox::Critical, QStringLiteral("Error#%1").arg(failure.number()));
    m_logGathering = gathering;
}

void UDP::msgBox(const QString &text)
{
    const bool gathering = pauseLogBatch();
    m_messageBox.show(text, MessageBox::NoIcon, QString::fromLatin1(kAppTitle));
    m_logGathering = gathering;
}

QString UDP::chooseLocalFile(const char *filter, bool save)
{
    CommonDialog1.setFilter(QString::fromLatin1(filter));
    save ? CommonDialog1.showSave() : CommonDialog1.showOpen();
    const QString name = CommonDialog1.fileName();
    if (name.isEmpty() || CommonDialog1.cancelled()) {
        msgBox(QStringLiteral("Cancel"));
        return {};
    }
    return name;
}
