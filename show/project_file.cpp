#include "show/project_file.h"

#include <algorithm>

bool WriteProjectFile(CXMLOutputFile& out, const CSlideShow& show, const CPublishSettings& publish)
{
    out.Write("<tavrel version_major=\"1\" version_minor=\"122\">\n");
    show.WriteXml(out);
    publish.WriteXml(out);
    out.Write("</tavrel>\n");
    return true;
}

bool FindProjectRoot(const CXMLDocument& document, CXMLNode* outer, CXMLNode* tavrel, std::string* why)
{
    CXMLNode first, root;
    if (!document.GetFirstChild(first) || !document.GetRootElement(root)) {
        if (why) *why = "no \"tavrel\" element";
        return false;
    }
    bool found = false;
    auto findIn = [&](const CXMLNode& parent) {
        ForEachChildElement(parent, [&](const CXMLNode& child, const std::string& name) {
            if (!found && name == "tavrel") {
                found = true;
                *tavrel = child;
            }
        });
    };
    if (first.IsElement()) {
        findIn(first);
        if (found) {
            *outer = first;
            return true;
        }
    }
    if (!why) return false;
    CStr rootName, firstName;
    root.GetName(rootName);
    first.GetName(firstName);
    if (std::string(rootName.c_str()) == "tavrel") {
        *why = "no \"xml\" element around \"tavrel\"";
        return false;
    }
    findIn(root);
    if (found)
        *why = "\"<?" + std::string(firstName.c_str()) + " ...?>\" stands before the \"" + rootName.c_str() +
               "\" element, which must begin the file";
    else
        *why = "no \"tavrel\" element";
    return false;
}

namespace {

// Project files nest about 8 deep; far deeper is no project's doing.
constexpr int kMaxProjectDepth = 64;

// What the read passed over that no reader said: names no reader knows,
// and a second "tavrel", which is not read.
void SayUnread(const CXMLNode& outer, const CXMLNode& tavrel, const CReadContext& context)
{
    if (!context.report) return;
    const CElementReader reader(outer, &context);
    // The outer element's own; "encoding" is read by the document.
    reader.Skip("version");
    reader.Skip("encoding");
    ReadChildElements(outer, [&](const CXMLNode& child, const std::string& name) {
        if (name != "tavrel") return false;
        if (child.GetOffset() != tavrel.GetOffset()) {
            context.Issue(child, "", "", "second tavrel element: passed over");
            child.MarkRead(true);
        }
        return true;
    });
    outer.ForEachUnread([&](const CXMLUnread& unread) {
        CStr holder;
        unread.holder.GetName(holder);
        const std::string what = std::string(unread.attribute ? "unknown attribute \"" : "unknown element \"") +
                                 unread.name + "\": passed over";
        context.IssueAt(unread.offset, holder.c_str(), "", "", what.c_str());
    });
}

}  // namespace

bool ReadProjectFile(const CXMLDocument& document, CSlideShow& show, CPublishSettings& publish, CReadContext* context,
                     std::string* why)
{
    CReadContext own;
    if (!context) context = &own;
    if (context->documentPath.IsEmpty()) context->documentPath = document.GetPath();
    context->unicodeText = document.IsUnicodeText();
    document.ClearReadMarks();
    CXMLNode outer, tavrel;
    if (!FindProjectRoot(document, &outer, &tavrel, why)) return false;
    // Said in file order once all is read: only then is it known which
    // names no reader took.
    CReadIssueList held;
    CReadReport* report = context->report;
    if (report) context->report = &held;
    // The version is not looked at: a file of any version reads the same.
    const CElementReader root(tavrel, context);
    root.Skip("version_major");
    root.Skip("version_minor");
    bool hasShow = false;
    ReadChildElements(tavrel, [&](const CXMLNode& child, const std::string& name) {
        if (name == "slide_show") {
            hasShow = true;
            show.ReadXml(child, context);
        } else if (name == "publish_data") {
            // Kept whole and written back: nothing in it is read.
            publish.ReadXml(child);
            child.MarkRead(true);
        } else {
            return false;
        }
        return true;
    });
    SayUnread(outer, tavrel, *context);
    // What reads as a project but is not one as written.
    if (!hasShow) context->Issue(tavrel, "", "", "no slide_show element: the show is empty");
    CXMLNode deep;
    if (report && document.FindNestedPast(kMaxProjectDepth, deep))
        context->Issue(deep, "", "",
                       ("elements nested more than " + std::to_string(kMaxProjectDepth) + " deep: ignored").c_str());
    context->report = report;
    // In file order, also where a project stands on one line.
    std::stable_sort(held.issues.begin(), held.issues.end(), [](const CReadIssue& a, const CReadIssue& b) {
        return a.line != b.line ? a.line < b.line : a.offset < b.offset;
    });
    if (report)
        for (const CReadIssue& issue : held.issues) report->Report(issue);
    return true;
}

bool SaveProject(const CPath& path, const CSlideShow& show, const CPublishSettings& publish,
                 bool (*cancelRequested)())
{
    CXMLWriteOptions options;
    options.cancelRequested = cancelRequested;
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
