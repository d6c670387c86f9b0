// A short-lived program for the launching tests. Without arguments it waits
// 30 seconds (or until told to quit); with a document argument it appends
// the argument to the file named by $TAVREL_SLEEPER_LOG and ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc > 1) {
        const char* log = std::getenv("TAVREL_SLEEPER_LOG");
        if (!log) return 2;
        FILE* f = std::fopen(log, "a");
        if (!f) return 3;
        std::fprintf(f, "%s\n", argv[1]);
        return std::fclose(f) == 0 ? 0 : 4;
    }
    sleep(30);
    return 0;
}
