// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/report.h"

#include <QFile>
#include <QLocale>

#include <cstdio>

namespace cardomine::bench {

QString number(double v)
{
    if (v < 0)
        return QStringLiteral("-");
    if (v >= 100)
        return QString::number(v, 'f', 0);
    if (v >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 2);
}

QString ratioCell(const Ratio &r)
{
    return QStringLiteral("%1 (%2–%3)").arg(number(r.median), number(r.min), number(r.max));
}

QString sizeName(int count)
{
    return QLocale(QLocale::English).toString(count);
}

void Report::add(const QString &text)
{
    m_text += text;
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Report::table(const QString &heading, const QString &about, const QStringList &headers,
                   const std::vector<QStringList> &rows)
{
    QString text = QStringLiteral("\n### ") + heading + QStringLiteral("\n\n");
    if (!about.isEmpty())
        text += about + QStringLiteral("\n\n");
    text += QStringLiteral("| ") + headers.join(QStringLiteral(" | ")) + QStringLiteral(" |\n|");
    for (qsizetype i = 0; i < headers.size(); ++i)
        text += i == 0 ? QStringLiteral("---|") : QStringLiteral("--:|");
    text += u'\n';
    for (const QStringList &row : rows)
        text += QStringLiteral("| ") + row.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
    add(text);
}

void Report::load(double before, double after)
{
    add(QStringLiteral("\nLoad average %1 before, %2 after.\n")
            .arg(QString::number(before, 'f', 2), QString::number(after, 'f', 2)));
}

void Report::progress(const QString &text) const
{
    std::printf("\n%s ...\n", qPrintable(text));
    std::fflush(stdout);
}

void Report::note(const QString &text)
{
    add(text + u'\n');
}

QString Report::verdict(const Verdict &v)
{
    m_verdicts.push_back(v);
    const QString met = v.met ? QStringLiteral("met") : QStringLiteral("NOT MET");
    return v.stretch ? met + QStringLiteral(" (stretch)") : met;
}

void Report::summary()
{
    int targets = 0;
    int met = 0;
    std::vector<QStringList> rows;
    for (const Verdict &v : m_verdicts) {
        if (!v.stretch) {
            ++targets;
            met += v.met ? 1 : 0;
        }
        rows.push_back({v.name, v.value, v.target,
                        (v.met ? QStringLiteral("met") : QStringLiteral("**NOT MET**")) +
                            (v.stretch ? QStringLiteral(" (stretch)") : QString())});
    }
    table(QStringLiteral("Verdicts"), QString(),
          {QStringLiteral("what"), QStringLiteral("value"), QStringLiteral("target"),
           QStringLiteral("verdict")},
          rows);
    add(QStringLiteral("\n%1 of %2 targets met; stretch targets are listed but not counted.\n")
            .arg(met)
            .arg(targets));
}

bool Report::write(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(m_text.toUtf8()) == m_text.toUtf8().size() && file.flush();
}

} // namespace cardomine::bench
