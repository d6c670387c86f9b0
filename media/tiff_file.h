#pragma once
// The TIFF reader: the first page, in strips or tiles, through libtiff.
#include <cstdint>
#include <cstdio>
#include <string>

#include "media/picture_file.h"

// Every strip or tile of the first page lies inside the file: "" when so,
// else the reason; the picture's size either way it is read.
std::string ProbeTiff(std::FILE* file, uint64_t fileSize, uint32_t* width, uint32_t* height);

// The first page's pixels; damage receives what did not decode ("damaged
// TIFF data in 1 of 8 strips") where the rest did. False with the reason.
bool DecodeTiff(std::FILE* file, uint64_t fileSize, PicturePixels* out, std::string* damage, std::string* error);
