#pragma once
// A look at a shared object before dlopen maps it: the loader trusts what the
// file says, and a damaged one ends the whole process inside the loader (a
// fault or one of its assertions) instead of failing the call.
#include <string>
#include <vector>

namespace platform {

// Why loading the shared object in file with RTLD_NOW would bring the process
// down inside the loader: "" when everything the loader reads and writes while
// mapping, relocating and looking it up (its headers, segments, dynamic
// section, the tables that section names and the places its relocations
// write) lies inside the segments it maps and holds together, and also when
// the file is no ELF object of this system's kind, which dlopen refuses
// itself before mapping anything. What the module's own code does once it
// runs (its constructors, its resolvers) is not judged. With needs set, a
// file that passes gives there the libraries it needs by name, unless it
// names where to look for them (its own run path).
std::string SharedObjectProblem(const std::string& file, std::vector<std::string>* needs = nullptr);

}  // namespace platform
