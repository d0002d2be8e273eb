// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/pairs.h"

#include <QString>
#include <QStringList>

#include <vector>

// The benchmark's results: tables in Markdown, each with the load average it ran
// under, and every target's verdict. Printed as they come and written to a file whole,
// so the README's table can be swapped for the last run's.
namespace cardomine::bench {

struct Verdict
{
    QString name;
    QString value;
    QString target;
    bool met = false;
    bool stretch = false; // reported, but not counted among the targets
};

class Report
{
public:
    // A table: a heading, a line on what it measures, column headers and rows.
    void table(const QString &heading, const QString &about, const QStringList &headers,
               const std::vector<QStringList> &rows);
    void load(double before, double after);
    void note(const QString &text);
    // A line on what runs now, printed only.
    void progress(const QString &text) const;
    // Records a verdict and returns the cell text for it ("met" or "NOT MET").
    QString verdict(const Verdict &v);
    // The summary of every verdict, printed and added to the text.
    void summary();
    bool write(const QString &path) const;

private:
    void add(const QString &text);
    QString m_text;
    std::vector<Verdict> m_verdicts;
};

// Number formats shared by every table.
QString number(double v);
QString ratioCell(const Ratio &r);
// A count of contacts as the tables write it (32,767).
QString sizeName(int count);

} // namespace cardomine::bench
