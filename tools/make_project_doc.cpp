// Rewrites the generated blocks of the project file's reference from the
// program's registries: tavrel_project_doc DOC.md
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/project_doc.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrel_project_doc DOC.md\n");
        return 1;
    }
    std::stringstream text;
    {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "tavrel_project_doc: %s: cannot be read\n", argv[1]);
            return 2;
        }
        text << in.rdbuf();
    }
    std::string doc = text.str();
    std::vector<std::string> missing;
    const bool all = projectdoc::Rewrite(doc, projectdoc::Blocks(), &missing);
    for (const auto& name : missing)
        std::fprintf(stderr, "tavrel_project_doc: %s: no block \"%s\"\n", argv[1], name.c_str());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << doc;
    if (!out.flush()) {
        std::fprintf(stderr, "tavrel_project_doc: %s: cannot be written\n", argv[1]);
        return 2;
    }
    return all ? 0 : 3;
}
