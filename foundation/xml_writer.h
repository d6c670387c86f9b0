#pragma once
// The XML writer: callers write the markup themselves and the values through
// the typed, escaping, path and base64 writers. The file replaces its
// target only once everything was written (CTypedOutputFile), so a failed
// save never loses the old file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "foundation/file_services.h"
#include "foundation/path.h"

struct CXMLWriteOptions {
    enum DeclarationStyle {
        kDeclarationOwn = 0,       // "<xml version=\"1.0\">" ... "</xml>"
        kDeclarationStandard = 1,  // "<?xml version=\"1.0\" ?>"
    };

    OSType type = kUnknownType;     // Finder file type of the created file
    OSType creator = kUnknownType;  // Finder creator
    int declarationStyle = kDeclarationOwn;
    bool writeDeclaration = true;
    // Asked before each write and before the file is put in place: true
    // stops the writer, which then puts nothing in place (errno ECANCELED).
    bool (*cancelRequested)() = nullptr;
};

class CXMLOutputFile {
public:
    CXMLOutputFile() = default;
    // Closes, committing what was written.
    ~CXMLOutputFile();
    CXMLOutputFile(const CXMLOutputFile&) = delete;
    CXMLOutputFile& operator=(const CXMLOutputFile&) = delete;

    // Fails when path names a folder, when a file exists there and replace
    // is not set (or it is locked), or when the file cannot be created. A
    // link is followed; a device or FIFO is written into when closing
    // (platform::JudgeOutput).
    bool Open(const CPath& path, const CXMLWriteOptions& options = CXMLWriteOptions(),
              bool replace = true);
    // Ends the document and puts the file in place. False when any write
    // failed or the file could not be put in place; the target is then left
    // as it was.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }
    const CPath& GetPath() const { return path_; }

    CXMLOutputFile& Write(std::string_view markup);
    CXMLOutputFile& Write(const char* markup);
    CXMLOutputFile& WriteBool(bool value);
    CXMLOutputFile& WriteInt(long value);
    CXMLOutputFile& WriteUInt(unsigned int value);
    CXMLOutputFile& WriteULong(unsigned long value);
    CXMLOutputFile& WriteShort(short value);
    // General notation, 6 significant digits, classic locale ("0.5", "1e+08").
    CXMLOutputFile& WriteDouble(double value);
    CXMLOutputFile& WriteFloat(float value);
    CXMLOutputFile& EscapeAndWrite(std::string_view text);
    CXMLOutputFile& EscapeAndWrite(const char* text);
    // The absolute form of path, escaped.
    CXMLOutputFile& WritePath(const CPath& path);
    CXMLOutputFile& WritePath(const char* path);

    // Base64 text of the bytes; the number of characters written, 0 on failure.
    size_t WriteBase64(const void* bytes, size_t length);
    size_t WriteBase64String(const char* text);

private:
    void Put(std::string_view bytes);

    std::FILE* file_ = nullptr;  // output_'s stream while open
    CPath path_;
    CTypedOutputFile output_;
    bool (*cancelRequested_)() = nullptr;
    int declarationStyle_ = CXMLWriteOptions::kDeclarationOwn;
    bool wroteDeclaration_ = false;
    bool failed_ = false;
    int writeError_ = 0;  // errno of the write that failed
    bool cancelled_ = false;  // the program's cancel came: nothing is put in place
    bool lastClose_ = true;
};
