// SPDX-License-Identifier: MIT
#pragma once

#include "platform/commondialog.h"
#include "platform/messagebox.h"

#include <functional>

/// The file dialog answered from the command line: Open and Save both choose the file the arguments name.
class ArgumentDialog : public CommonDialog
{
public:
    /// The file the next dialog chooses; empty answers as a cancelled dialog.
    void answer(const QString &path) { m_path = path; }
    void setFilter(const QString &) override {}
    void showOpen() override {}
    void showSave() override {}
    QString fileName() const override { return m_path; }
    bool cancelled() const override { return m_path.isEmpty(); }

private:
    QString m_path;
};

/// Message boxes have nobody to click them away: each goes to stderr as "vantrel: title: text" and returns at
/// once. The number of the last "Error#" box is kept for the exit status; a box without the critical icon tells
/// something (where a listing's lines are) and fails nothing.
class StderrMessageBox : public MessageBox
{
public:
    void show(const QString &text, Icon icon, const QString &title) override;
    /// Boxes shown so far.
    int count() const { return m_count; }
    /// Boxes with the critical icon shown so far: the failures.
    int failures() const { return m_failures; }
    /// The number in the title of the last failure's box ("Error#53" gives 53); 0 for a box without one.
    int lastNumber() const { return m_lastNumber; }
    /// "Error#53: File not found: ...", as written to stderr: the last failure's box.
    const QString &lastBox() const { return m_lastBox; }
    /// "File not found: ...": the last failure's box without its title.
    const QString &lastText() const { return m_lastText; }
    /// Runs after each box, so that whoever waits hears of it.
    std::function<void()> shown;
    /// While hushed, a box without the critical icon is counted and not written: it would tell of something the
    /// run did on its own behalf.
    void hush(bool hushed) { m_hushed = hushed; }

private:
    int m_count = 0;
    int m_failures = 0;
    int m_lastNumber = 0;
    bool m_hushed = false;
    QString m_lastBox;
    QString m_lastText;
};
