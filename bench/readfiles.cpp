// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for cardomine-tool's commands: a Qt Core program that starts as the tool
// does and only reads the files a command reads, each whole (one open, read and close).
//
//   cardomine_bench_read [FILE | --folder DIR | --list DIR]...
//
// --folder reads every file in DIR, --list only lists DIR. Exit status 0 when every
// file could be read.

#include <QCoreApplication>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <string>
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--folder" || argument == "--list") && i + 1 < argc)
            ok = readFolder(argv[++i], argument == "--folder") && ok;
        else
            ok = readFile(argument) && ok;
    }
    return ok ? 0 : 1;
}
