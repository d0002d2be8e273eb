// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/syncbench.h"

#include "bench/datafolder.h"
#include "datastore/dataerror.h"
#include "platform/fileerror.h"
#include "tool/sync.h"

#include <QDir>

#include <chrono>

namespace cardomine::bench {

std::array<std::vector<double>, 3> measureQuietSync(const std::array<QString, 3> &roots,
                                                    const QString &scratch, int runs,
                                                    QString &problem)
{
    using Clock = std::chrono::steady_clock;
    std::array<std::vector<double>, 3> millis;
    try {
        for (std::size_t i = 0; i < roots.size(); ++i) {
            const DriveRoot drive(roots[i]);
            const QString vdir = scratch + QStringLiteral("/vdir%1").arg(i);
            QDir().mkpath(vdir);
            tool::syncVdir(vdir);
            for (int run = 0; run < runs; ++run) {
                const auto start = Clock::now();
                const tool::SyncReport report = tool::syncVdir(vdir);
                millis[i].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                if (report.written != 0 || report.stateWritten) {
                    problem = QStringLiteral("a pass with nothing changed wrote files");
                    return {};
                }
            }
        }
    } catch (const DataError &error) {
        problem = error.message();
        return {};
    } catch (const platform::FileError &error) {
        problem = error.message();
        return {};
    }
    return millis;
}

} // namespace cardomine::bench
