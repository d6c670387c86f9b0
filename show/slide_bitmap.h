#pragma once
// The picture side of the slide export, shared by the full export and the
// strip show: the slide's bitmap and the character that shows it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/qd_types.h"

class CImage;
class CProgressDialog;
class CQTMovie;
class CSlide;
class CSwfBitmap;
class CSwfMovie;

// The slide's crop in the picture's own orientation (before flips and
// turns), clamped to a picture of pictureWidth × pictureHeight. False when
// the crop is off or nothing of it lies on the picture.
bool MapCropToPicture(const CSlide& slide, int pictureWidth, int pictureHeight, Rect* out);

// The slide's picture as the export draws it, before filters, mirrors and
// turns: the frame of the open picture at the display size in the
// picture's own orientation, its crop scaled to it, into image (24 bits);
// for the transparent kinds the alpha at the display size, oriented, into
// mask. False when it cannot be drawn. The export's plan draws a movie's
// frame through it too, so that the export finds it drawn as it would draw
// it.
bool RenderSlidePicture(CSlide& slide, CQTMovie& picture, CImage& image, std::vector<uint8_t>& mask);
// What that drawing rests on beside the file: the display size, the turn
// and mirrors, the crop and whether the kind carries alpha.
std::string SlidePictureBasis(CSlide& slide);

// A slide whose bitmap is its picture mirrored and turned and encoded as
// JPEG, nothing more (no filter, no alpha): the plan that draws a movie's
// frame for it encodes it there (EncodeSlideJpeg: image mirrored and
// turned, the stream's bytes out, false when it does not encode), and the
// export takes the bytes, made from what SlideJpegBasis says.
bool IsPlainJpegSlide(const CSlide& slide);
bool EncodeSlideJpeg(CSlide& slide, CImage& image, CSwfBitmap& bitmap, std::vector<uint8_t>* bytes);
std::string SlideJpegBasis(CSlide& slide);

// Renders the picture at the display size, filters, mirrors and turns it,
// encodes it as the slide's image_type asks and adds the bitmap with the
// next id (stored as the slide's bitmap id). False when the picture cannot
// be read or encoded (read: unless the export state's mustWrite asks for
// black in its place); nothing is then written. The strip variant reports
// no progress and sees no cancel.
bool ExportSlideBitmap(CSlide& slide, CSwfMovie& movie, uint16_t* ids, CProgressDialog* sink, bool strip);

// Defines the character that shows the bitmap (or takes the show's
// background shape for a blank slide) and stores it as the slide's
// character id; false when the ids ran out. The strip variant writes a
// DefineShape2 with the slide's fill as style 1.
bool ExportSlideShape(CSlide& slide, CSwfMovie& movie, uint16_t* ids, bool strip);
