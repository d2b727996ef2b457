// One plain workload alone in its process, for instruction counts under callgrind:
// cell_workload latin1|utf8|stream|floor ROWS [PATH], PATH /dev/null by default. Exit 0
// when the workbook was written.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "workload.hpp"

int main(int argc, char **argv) {
    using bench::Way;
    if (argc < 3) {
        std::fprintf(stderr, "uso: cell_workload latin1|utf8|stream|floor RIGHE [FILE]\n");
        return 2;
    }
    std::string_view name = argv[1];
    Way way = name == "utf8"     ? Way::utf8
              : name == "stream" ? Way::stream
              : name == "floor"  ? Way::floor
                                 : Way::file;
    long rows = std::atol(argv[2]);
    const char *path = argc > 3 ? argv[3] : "/dev/null";
    bench::Values values;
    int fd = -1;
    if (way == Way::stream || way == Way::floor) {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) return 1;
    }
    bool ok = bench::write_plain(values, rows, way, path, fd);
    if (fd >= 0 && close(fd) != 0) ok = false;
    return ok ? 0 : 1;
}
