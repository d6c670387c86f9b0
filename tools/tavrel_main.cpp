// Command-line front end: compiles a show project into a SWF movie.
#include <cstdio>

int main(int argc, char** argv)
{
    (void)argv;
    if (argc < 2) {
        std::puts("usage: tavrel PROJECT.tvr [OUT.swf]");
    }
    std::puts("tavrel: the show compiler is not built yet; this build holds the foundation, SWF, interface, font, picture and sound libraries.");
    return 0;
}
