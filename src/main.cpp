// Kelvra takes no command line: main() only runs the entry point's steps. It ends through exit(), as
// returning from main would: a page's runtime outlives a main that returns, for the browser's sake,
// and would never tell the page that the program has ended.
#include <cstdlib>

#include "galaxy.h"

int main() {
    std::exit(WinMain());
}
