#pragma once
// Copies a file or a folder tree into a folder, with its forks and catalog
// information, and deletes folder trees. Results are platform status codes.
//
// Symbolic links are copied as links and deleted as links: neither operation
// ever reaches outside the tree it was given.
#include <cstdint>
#include <string>

#include "platform/files.h"

enum DuplicateAction {
    kDupActionStandard = 0,  // a clash makes the copy fail with -48
    kDupActionReplace = 1,   // the existing object is replaced
    kDupActionRename = 2,    // the copy gets a unique name (" 1" ... " 9")
};

// Called after every object copied; its result replaces the status, so a
// nonzero result stops the copy. level is 0 for the object copied itself.
using CopyFilterProc = int (*)(bool containerChanged, unsigned long level, int status,
                               const platform::CatalogInfo& info, const platform::FSRef& ref,
                               const platform::FSSpec* spec, const std::string* name, void* userData);

// maxLevels 0 copies the whole tree; n copies n levels of contents.
// whichInfo is accepted for the filter's sake; the filter always gets the
// whole catalog information. newName null keeps the source's name.
int CopyFileSystemObject(const platform::FSRef* source, const platform::FSRef* destinationFolder,
                         unsigned long maxLevels, uint32_t whichInfo, int duplicateAction, const char* newName,
                         bool wantSpec, bool wantName, CopyFilterProc filter, void* userData,
                         platform::FSRef* newRef, platform::FSSpec* newSpec);

// Deletes a folder and everything in it, unlocking locked items; -120 when
// the reference is not a folder.
int DeleteFileSystemObject(const platform::FSRef* folder);

// Turns name into the first of "name 1.ext" ... "name 9.ext" that does not
// exist in folder; -48 when all nine exist.
int MakeUniqueObjectName(const platform::FSRef& folder, std::string& name);

// A file-system name (UTF-8) as text in the system script, Mac Roman; false
// when a character has no Mac Roman form.
bool UnicodeNameToText(const std::string& name, std::string& text);

// The copy buffer size for a volume's performance grade.
uint32_t CalcCopyBufferSize(int32_t volumeGrade);
