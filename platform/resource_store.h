#pragma once
// Our stand-in for a Resource Manager file: a read-only store kept as a
// folder, one sub-folder per resource type and one file per id:
//   main.rsrc/GfXX/128      type 'GfXX', id 128
//   main.rsrc/SIZE/-1       type 'SIZE', id -1
// A type's folder name is its four characters; a byte outside '!'..'~', and
// '/' and '%', is written as %XX (hex), so 'snd ' is "snd%20".
// The store holds its folder open, so it keeps reading the same folder even
// if that folder is renamed or replaced after opening.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gestalt.h"

// A resource type: four characters packed as FourCC packs them.
using ResType = uint32_t;

// The bytes of one resource, owned by whoever holds the handle.
using ResourceHandle = std::unique_ptr<std::vector<uint8_t>>;

namespace platform {

std::string ResTypeFolderName(ResType type);

class ResourceStore {
public:
    ResourceStore() = default;
    ~ResourceStore();
    ResourceStore(const ResourceStore&) = delete;
    ResourceStore& operator=(const ResourceStore&) = delete;

    // false when the folder cannot be opened; an open store is closed first.
    bool Open(const std::string& folder);
    void Close();
    bool IsOpen() const { return dirFd_ >= 0; }

    // The resource's bytes; false when the store is closed or has no such
    // resource (ids outside -32768..32767 included).
    bool Read(ResType type, int id, std::vector<uint8_t>& out) const;

    // How many times any store was opened, for checking that callers reuse theirs.
    static uint64_t OpenCount();

private:
    int dirFd_ = -1;
};

// Replaces one resource of a store folder atomically (a temporary file, then
// a rename), creating the type folder when needed.
bool WriteResource(const std::string& folder, ResType type, int id, const std::vector<uint8_t>& bytes,
                   std::string* error = nullptr);

}  // namespace platform
