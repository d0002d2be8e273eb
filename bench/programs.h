// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The programs the benchmark starts, built beside it.
namespace cardomine::bench {

struct Programs
{
    QString launcher = QStringLiteral(CARDOMINE_BENCH_LAUNCH);
    QString bareWindow = QStringLiteral(CARDOMINE_BENCH_BASELINE);
    QString formWindow = QStringLiteral(CARDOMINE_BENCH_FORM);
    QString start = QStringLiteral(CARDOMINE_BENCH_START);
    QString tool = QStringLiteral(CARDOMINE_BENCH_TOOL);
    QString reader = QStringLiteral(CARDOMINE_BENCH_READ);
    QString firstScreen = QStringLiteral(CARDOMINE_BENCH_FIRSTSCREEN);
};

} // namespace cardomine::bench
