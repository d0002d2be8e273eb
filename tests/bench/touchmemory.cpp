// SPDX-License-Identifier: GPL-3.0-or-later
// Touches N MiB of memory and exits: a program whose peak memory is known.
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    const std::size_t bytes = std::size_t(argc > 1 ? std::atoi(argv[1]) : 0) << 20;
    char *block = static_cast<char *>(std::malloc(bytes + 1));
    if (!block)
        return 1;
    std::memset(block, 1, bytes + 1);
    const int sum = block[bytes / 2];
    std::free(block);
    return sum == 1 ? 0 : 1;
}
