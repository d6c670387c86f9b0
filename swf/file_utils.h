#pragma once
// SWF files on disk: recognising plain ("FWS") and compressed ("CWS") movies,
// and rewriting one form as the other with zlib. Both passes stream through
// small fixed buffers, so memory use does not depend on the movie's size.
//
// Every operation returns true only on success; a failed rewrite leaves no
// partial destination behind and never touches a destination the caller
// asked to keep.
#include <cstdint>

#include "foundation/path.h"

// Codes of the process-wide last error, set by the failing operation and left
// as they were by successes.
namespace swf_file_error {
enum : int {
    kNone = 0,
    kNotSwf = 2,         // the source is not a SWF file
    kNotCompressed = 3,  // the source is not a compressed SWF file
    kCannotOpen = 5,     // the file cannot be opened
    kCannotWrite = 7,    // the destination cannot be created or written
    kTooLarge = 8,       // the expansion would pass the size the caller allows
};
}  // namespace swf_file_error

int GetSwfFileLastError();
// With the last error 7: the system's reason (an errno value) the
// destination could not be created or written, 0 when it gave none.
int GetSwfFileLastSystemError();
void SetSwfFileLastError(int code);

// True when the file begins with "FWS" or "CWS"; false, without an error
// code, when it cannot be opened.
bool IsSwfFile(const CPath& path);
// True when the file begins with "CWS"; a file that cannot be opened sets 5.
bool IsSwfFileCompressed(const CPath& path);

// Plain movie to compressed movie. The destination (Finder type 'SWFL',
// creator 'SWF2') is created only when the source is a plain movie; an
// existing destination is replaced only when `replace` is set, and only once
// the new file is complete. The source and the destination must differ.
bool CompressSwfFile(const CPath& source, const CPath& destination, bool replace);
// Compressed movie to plain movie, with the same rules. The expansion stops
// at the length the header announces; a stream that would expand past
// maxExpandedSize bytes (the plain file's size) fails with kTooLarge.
bool DecompressSwfFile(const CPath& source, const CPath& destination, bool replace,
                       uint64_t maxExpandedSize = UINT64_MAX);
// Replaces a compressed movie by its plain form under the same name. A plain
// movie is already what the caller wants: true, untouched. With keepBackup
// the compressed file stays beside it as name + "~" (an older backup is
// replaced); a failure puts the original back.
bool DecompressSwfFileInPlace(const CPath& path, bool keepBackup);
