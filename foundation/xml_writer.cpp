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
    platform::OutputTarget output;
    std::string why;
    if (!platform::JudgeOutput(given, &output, &why)) return false;
    const std::string& target = output.path;
    struct stat st;
    if (!replace && ::stat(target.c_str(), &st) == 0) return false;

    if (!MakeOutputTempFile(temp_, target, output.inPlace)) return false;
    CFileInfo info;
    info.type = options.type;
    info.creator = options.creator;
    // The new file keeps what the temporary one was given: the target's
    // mode, owner and group, or, written into a device, a private mode.
    std::FILE* file = OpenTypedFile(temp_, &info);
    if (!file) {
        temp_.Discard();
        return false;
    }
    file_ = file;
    path_ = CPath(target);
    inPlace_ = output.inPlace;
    replace_ = replace;
    failed_ = false;
    cancelled_ = false;
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
    // A failed write may only show in the stream's error flag.
    if (std::ferror(file_) || std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    if (!failed_ && platform::CancelAsked()) failed_ = cancelled_ = true;
    if (!failed_ && inPlace_) {
        bool wrote = false;
        std::string why;
        failed_ = !platform::WriteInPlace(path_.GetFullPath(), temp_.GetPath(), &wrote, &why);
    } else {
        if (!failed_ && !temp_.Commit(path_.GetFullPath(), replace_)) failed_ = true;
        // The replaced file's resource fork, if it had one beside it, went with it.
        if (!failed_) platform::RemoveResourceSidecar(path_.GetFullPath());
    }
    const int err = cancelled_ ? ECANCELED : errno;
    temp_.Discard();
    errno = err;
    lastClose_ = !failed_;
    return lastClose_;
}

void CXMLOutputFile::Put(std::string_view bytes)
{
    if (!file_ || failed_) return;
    // A cancelled run writes no more, and puts nothing in place.
    if (platform::CancelAsked()) {
        failed_ = cancelled_ = true;
        return;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
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
