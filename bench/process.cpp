// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/process.h"

#include <QFile>

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char **environ;

namespace cardomine::bench {
namespace {

QString launcherPath;
QString reportPath;
QString errorPath;

} // namespace

void setLauncher(const QString &launcher, const QString &scratch)
{
    launcherPath = launcher;
    reportPath = scratch + QStringLiteral("/launch-report.txt");
    errorPath = scratch + QStringLiteral("/launch-stderr.txt");
}

ProcessRun runMeasured(const Command &command)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const QString &assignment : command.environment) {
        const std::string value = QFile::encodeName(assignment).toStdString();
        const std::string key = value.substr(0, value.find('=') + 1);
        std::erase_if(env, [&](const std::string &s) { return s.starts_with(key); });
        env.push_back(value);
    }
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> args{QFile::encodeName(launcherPath).toStdString(),
                                  QFile::encodeName(reportPath).toStdString(),
                                  QFile::encodeName(command.program).toStdString()};
    for (const QString &argument : command.arguments)
        args.push_back(QFile::encodeName(argument).toStdString());
    std::vector<char *> argv;
    for (std::string &s : args)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    QFile::remove(reportPath);
    const QByteArray out = QFile::encodeName(command.standardOutput);
    const QByteArray err = QFile::encodeName(errorPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ProcessRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return run;
    QFile errors(errorPath);
    if (errors.open(QIODevice::ReadOnly))
        run.err = errors.read(4096);
    QFile report(reportPath);
    if (!report.open(QIODevice::ReadOnly))
        return run;
    const QList<QByteArray> fields = report.readAll().simplified().split(' ');
    if (fields.size() != 3)
        return run;
    run.started = true;
    run.peakMiB = fields[0].toDouble() / 1024.0;
    run.millis = fields[1].toDouble() / 1000.0;
    run.exitCode = fields[2].toInt();
    return run;
}

double loadAverage()
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (!loadavg.open(QIODevice::ReadOnly))
        return -1;
    return loadavg.readAll().split(' ').value(0).toDouble();
}

} // namespace cardomine::bench
