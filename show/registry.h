#pragma once
// The registries of prototypes share one rule: a kind keeps its place, and
// a prototype of a name already registered replaces the old one.
#include <memory>
#include <vector>

template <typename T>
void RegisterPrototype(std::vector<std::unique_ptr<T>>& prototypes, std::unique_ptr<T> prototype)
{
    if (!prototype) return;
    for (auto& p : prototypes) {
        if (p->GetName() == prototype->GetName()) {
            p = std::move(prototype);
            return;
        }
    }
    prototypes.push_back(std::move(prototype));
}
