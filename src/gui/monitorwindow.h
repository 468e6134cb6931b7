// SPDX-License-Identifier: MIT
#pragma once

#include "rowview.h"

#include "monitor/record.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

/// The wire monitor's rows: a unit of the record each, of those the filter passes, painted from the record as they
/// are scrolled into view; only the numbers of the units shown are kept.
class MonitorRows : public RowView
{
public:
    explicit MonitorRows(const Monitor::Record &record, QWidget *parent = nullptr);

    const Monitor::Filter &filter() const { return m_filter; }
    void setFilter(const Monitor::Filter &filter);
    /// Takes in the units the record gained, and lets go of those it dropped.
    void refresh();
    /// The unit a row shows.
    qint64 unitAt(qsizetype row) const { return m_units[size_t(row)]; }
    /// Finds the text (in any case) in a unit's bytes or its decode, after the current row or before it, going round
    /// at the end; makes that row current. False when no row has it.
    bool find(const QString &text, bool backward);
    /// Runs when the current row changed.
    std::function<void()> currentChanged;

    qsizetype rowCount() const override { return qsizetype(m_units.size()); }
    void paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const override;
    int rowWidth() const override;
    QString rowText(qsizetype row) const override;
    /// The columns' titles, painted as the rows are, scrolled with them.
    void paintTitles(QPainter &painter, const QRect &rect) const;

protected:
    void currentRowChanged() override;

private:
    /// The row's columns: number, time, Δ ms, direction, link, length, hex, text, decode, reply time.
    std::array<QString, 10> cells(qsizetype row) const;

    const Monitor::Record &m_record;
    Monitor::Filter m_filter;
    std::vector<qint64> m_units; // the units shown, in order
    qint64 m_seen = 0;           // the record's end at the last refresh
};

/// The wire monitor: a window of its own beside the terminal's, with a row a unit sent or received, the chosen
/// unit's fields and bytes, the filters, Find, Export, and a strip that sums up what is shown. It reads the record
/// while it is shown and costs nothing while it is not.
class MonitorWindow : public QWidget
{
public:
    /// `saveAs` runs the model's command that exports the units a filter passes.
    MonitorWindow(const Monitor::Record &record, std::function<void(const Monitor::Filter &)> saveAs,
                  QWidget *parent = nullptr);

    MonitorRows *rows() const { return m_rows; }
    QString stripText() const;
    QString details() const;
    /// Takes in what the record gained; a timer does it while the window is shown.
    void refresh();

    /// How often the window looks at the record.
    static constexpr int kRefreshMs = 100;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void filterChanged();
    void findNext(bool backward);
    void showDetails();
    void showSummary();

    const Monitor::Record &m_record;
    MonitorRows *m_rows = nullptr;
    QWidget *m_titles = nullptr;
    QPlainTextEdit *m_details = nullptr;
    QLabel *m_strip = nullptr;
    QLineEdit *m_find = nullptr;
    QLabel *m_findNote = nullptr;
    std::array<QCheckBox *, 6> m_boxes{}; // Sent, Received, Console, Program, Flash, RTU
    QTimer m_refresh;
    int m_ticks = 0;
};
