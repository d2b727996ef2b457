// Out-of-tree C++ client of an installed Gridquill: the same workbook through
// gridquill.hpp, closed when the workbook object goes out of scope.
#include <cstdio>
#include <gridquill.hpp>

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "client.xml";
    try {
        gridquill::Workbook book(path, "Cliente");
        book.style(gridquill::Style("bold").bold().number_format(""));
        book.sheet("Installata").cell("Libreria installata", "bold").cell(42);
    } catch (const gridquill::Error &e) {
        std::fprintf(stderr, "client: %s", e.what());
        return 1;
    }
    std::printf("client: %s written\n", path);
    return 0;
}
