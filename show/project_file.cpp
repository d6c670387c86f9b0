#include "show/project_file.h"

bool WriteProjectFile(CXMLOutputFile& out, const CSlideShow& show, const CPublishSettings& publish)
{
    out.Write("<tavrel version_major=\"1\" version_minor=\"122\">\n");
    show.WriteXml(out);
    publish.WriteXml(out);
    out.Write("</tavrel>\n");
    return true;
}

bool ReadProjectFile(const CXMLDocument& document, CSlideShow& show, CPublishSettings& publish, CReadContext* context)
{
    CReadContext own;
    if (!context) context = &own;
    if (context->documentPath.IsEmpty()) context->documentPath = document.GetPath();
    context->unicodeText = document.IsUnicodeText();
    CXMLNode outer;
    if (!document.GetFirstChild(outer)) return false;
    CXMLNode tavrel;
    bool found = false;
    ForEachChildElement(outer, [&](const CXMLNode& child, const std::string& name) {
        if (!found && name == "tavrel") {
            found = true;
            tavrel = child;
        }
    });
    if (!found) return false;
    ForEachChildElement(tavrel, [&](const CXMLNode& child, const std::string& name) {
        if (name == "slide_show")
            show.ReadXml(child, context);
        else if (name == "publish_data")
            publish.ReadXml(child);
    });
    return true;
}

bool SaveProject(const CPath& path, const CSlideShow& show, const CPublishSettings& publish)
{
    CXMLWriteOptions options;
    options.type = kProjectFileType;
    options.creator = kProjectFileCreator;
    CXMLOutputFile out;
    if (!out.Open(path, options, true)) return false;
    WriteProjectFile(out, show, publish);
    return out.Close();
}

ProjectOpenError OpenProject(const CPath& path, CSlideShow& show, CPublishSettings& publish, CReadContext* context)
{
    if (!path.Exists() || path.IsDirectory()) return ProjectOpenError::kNoFile;
    CXMLDocument document;
    if (!document.Load(path)) return ProjectOpenError::kNotXml;
    show.Reset();
    publish.Clear();
    return ReadProjectFile(document, show, publish, context) ? ProjectOpenError::kNone : ProjectOpenError::kNotProject;
}
