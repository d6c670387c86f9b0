#pragma once
// The project file: the "tavrel" element holding the show and the publish
// settings, inside the outer "xml" element that the writer's own
// declaration style opens and closes.
#include "foundation/xml_reader.h"
#include "platform/toolbox_types.h"
#include "foundation/xml_writer.h"
#include "show/publish_settings.h"
#include "show/slide_show.h"
#include "show/xml_io.h"

// Finder type and creator of project files.
constexpr OSType kProjectFileType = FourCC("pTvr");
constexpr OSType kProjectFileCreator = FourCC("TvRl");

bool WriteProjectFile(CXMLOutputFile& out, const CSlideShow& show, const CPublishSettings& publish);
// The outer element (the document's first node) and the first "tavrel"
// element in it. False when there is none, with what the file lacks, in
// the user's words, in why.
bool FindProjectRoot(const CXMLDocument& document, CXMLNode* outer, CXMLNode* tavrel, std::string* why = nullptr);
// False when the document has no "tavrel" element in its outer element,
// with what the file lacks in why (as FindProjectRoot says it).
// With a report, what the read passed over is said, in the order of the
// file's lines: values refused and, once read, each attribute and element
// of a name no reader knows (what an unknown element holds goes with it),
// a "tavrel" without its show, elements nested past any project's depth.
// Each issue names the slide whose element holds what it speaks of.
// The texts of a Unicode document (see CXMLDocument::IsUnicodeText) are read
// into the show's own character set, Mac Roman; a character it lacks
// becomes "?" and is reported. Character references stand for the byte they
// give, as in the files the program writes; paths stay file-system bytes.
bool ReadProjectFile(const CXMLDocument& document, CSlideShow& show, CPublishSettings& publish,
                     CReadContext* context = nullptr, std::string* why = nullptr);

// Whole-file helpers: save replaces the file only when everything was
// written, and not once cancelRequested says so; open resets the show and
// the settings first.
bool SaveProject(const CPath& path, const CSlideShow& show, const CPublishSettings& publish,
                 bool (*cancelRequested)() = nullptr);
// Why an open failed, for the message the caller shows.
enum class ProjectOpenError { kNone, kNoFile, kNotXml, kNotProject };
ProjectOpenError OpenProject(const CPath& path, CSlideShow& show, CPublishSettings& publish,
                             CReadContext* context = nullptr);
