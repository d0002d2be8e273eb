// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for cardomine-tool's commands: a Qt Core program that starts as the tool
// does and only reads the files a command reads, each whole (one open, read and close),
// or writes as many files as an import makes.
//
//   cardomine_bench_read [FILE | --folder DIR | --list DIR | --write DIR N]...
//
// --folder reads every file in DIR, --list only lists DIR; --write makes DIR and N
// files of 128 bytes in it, then makes them durable with one syncfs, as import does.
// Exit status 0 when every file could be read or written.

#include <QCoreApplication>
#include <QFile>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<char> buffer(1 << 20);

bool readFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    ::close(fd);
    return got == 0;
}

bool readFolder(const std::string &folder, bool read)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    bool ok = true;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (read && name != "." && name != "..")
            ok = readFile(folder + '/' + name) && ok;
    }
    ::closedir(dir);
    return ok;
}

bool writeFiles(const std::string &folder, int count)
{
    if (::mkdir(folder.c_str(), 0700) != 0)
        return false;
    const std::string text(127, 'x');
    bool ok = true;
    for (int i = 1; i <= count && ok; ++i) {
        const std::string path = folder + '/' + std::to_string(i) + ".txt";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ok = fd >= 0 && ::write(fd, (text + '\n').data(), 128) == 128;
        if (fd >= 0)
            ok = ::close(fd) == 0 && ok;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = dir >= 0 && ::syncfs(dir) == 0 && ok;
    if (dir >= 0)
        ::close(dir);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--write" && i + 2 < argc) {
            ok = writeFiles(argv[i + 1], std::atoi(argv[i + 2])) && ok;
            i += 2;
        } else if ((argument == "--folder" || argument == "--list") && i + 1 < argc)
            ok = readFolder(argv[++i], argument == "--folder") && ok;
        else
            ok = readFile(argument) && ok;
    }
    return ok ? 0 : 1;
}
