#pragma once
// The parts of the project file's reference that the program itself knows:
// the transition, effect and filter names with their settings and words,
// and the words of the show's own attributes. Each part is a block of
// docs/project-file.md between "<!-- generated: NAME -->" and
// "<!-- end generated -->", rewritten by tavrel_project_doc and compared
// by the tests, so the document cannot drift from the registries.
#include <string>
#include <utility>
#include <vector>

namespace projectdoc {

// (block name, markdown) in document order. Makes its own registries when
// none exists.
std::vector<std::pair<std::string, std::string>> Blocks();

// Replaces each block's text in doc; the names of blocks doc lacks go to
// missing. True when every block was found.
bool Rewrite(std::string& doc, const std::vector<std::pair<std::string, std::string>>& blocks,
             std::vector<std::string>* missing);

// The text of one block of doc; false when doc has no such block.
bool BlockText(const std::string& doc, const std::string& name, std::string* text);

// doc with every generated block's text taken out.
std::string WithoutBlocks(const std::string& doc);

}  // namespace projectdoc
