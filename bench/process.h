// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// One program run as the user runs it: a whole process, timed from start to exit, its
// peak memory read after exec (through bench/launch.cpp).
namespace cardomine::bench {

struct Command
{
    Command(QString program_, QStringList arguments_ = {}, QStringList environment_ = {})
        : program(std::move(program_))
        , arguments(std::move(arguments_))
        , environment(std::move(environment_))
    {}

    QString program;
    QStringList arguments;
    QStringList environment; // NAME=VALUE, each replacing NAME in the harness's own
    QString standardOutput = QStringLiteral("/dev/null");
};

struct ProcessRun
{
    bool started = false;
    int exitCode = -1;
    double millis = 0;
    double peakMiB = 0;
    QByteArray err; // the first lines of its standard error
};

// The launcher every run goes through; set once by the harness.
void setLauncher(const QString &launcher, const QString &scratch);

ProcessRun runMeasured(const Command &command);

// The 1-minute load average, as /proc/loadavg shows it.
double loadAverage();

} // namespace cardomine::bench
