#include "foundation/xml_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/base64.h"
#include "platform/files.h"
#include "foundation/xml_text.h"


CXMLOutputFile::~CXMLOutputFile()
{
    Close();
}

bool CXMLOutputFile::Open(const CPath& path, const CXMLWriteOptions& options, bool replace)
{
    Close();
    const std::string given = path.GetFullPath();
    if (given.empty() || given.back() == '/') return false;
    CFileInfo info;
    info.type = options.type;
    info.creator = options.creator;
    if (!output_.Open(path, &info, replace)) return false;
    file_ = output_.GetStream();
    path_ = path;
    cancelRequested_ = options.cancelRequested;
    failed_ = false;
    cancelled_ = false;
    writeError_ = 0;
    declarationStyle_ = options.declarationStyle;
    wroteDeclaration_ = options.writeDeclaration;
    if (wroteDeclaration_)
        Put(declarationStyle_ == CXMLWriteOptions::kDeclarationStandard ? "<?xml version=\"1.0\" ?>\n"
                                                                        : "<xml version=\"1.0\">\n");
    return true;
}

bool CXMLOutputFile::Close()
{
    if (!file_) return lastClose_;
    bool ownStyle = wroteDeclaration_ && declarationStyle_ == CXMLWriteOptions::kDeclarationOwn;
    Put(ownStyle ? "\n</xml>\n" : "\n");
    file_ = nullptr;
    if (!failed_ && cancelRequested_ && cancelRequested_()) failed_ = cancelled_ = true;
    int err = cancelled_ ? ECANCELED : writeError_ ? writeError_ : EIO;
    if (!failed_ && !output_.Commit()) {
        failed_ = true;
        err = errno;
    }
    output_.Discard();
    if (failed_) errno = err;
    lastClose_ = !failed_;
    return lastClose_;
}

void CXMLOutputFile::Put(std::string_view bytes)
{
    if (!file_ || failed_) return;
    // A cancelled run writes no more, and puts nothing in place.
    if (cancelRequested_ && cancelRequested_()) {
        failed_ = cancelled_ = true;
        return;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
        writeError_ = errno;
    }
}

CXMLOutputFile& CXMLOutputFile::Write(std::string_view markup)
{
    Put(markup);
    return *this;
}

CXMLOutputFile& CXMLOutputFile::Write(const char* markup)
{
    if (markup) Put(markup);
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteBool(bool value)
{
    Put(value ? "true" : "false");
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteInt(long value)
{
    Put(std::to_string(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteUInt(unsigned int value)
{
    Put(std::to_string(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteULong(unsigned long value)
{
    Put(std::to_string(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteShort(short value)
{
    Put(std::to_string(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteDouble(double value)
{
    Put(xmltext::FormatDouble(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WriteFloat(float value)
{
    Put(xmltext::FormatDouble(value));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::EscapeAndWrite(std::string_view text)
{
    Put(xmltext::Escape(text));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::EscapeAndWrite(const char* text)
{
    if (text) Put(xmltext::Escape(text));
    return *this;
}

CXMLOutputFile& CXMLOutputFile::WritePath(const CPath& path)
{
    return EscapeAndWrite(path.GetFullPath());
}

CXMLOutputFile& CXMLOutputFile::WritePath(const char* path)
{
    return WritePath(CPath(path));
}

size_t CXMLOutputFile::WriteBase64(const void* bytes, size_t length)
{
    CBase64 encoder;
    if (!file_ || !encoder.Encode(static_cast<const uint8_t*>(bytes), length)) return 0;
    Put(std::string_view(reinterpret_cast<const char*>(encoder.GetData()), encoder.GetLength()));
    return failed_ ? 0 : encoder.GetLength();
}

size_t CXMLOutputFile::WriteBase64String(const char* text)
{
    return text ? WriteBase64(text, std::strlen(text)) : 0;
}
