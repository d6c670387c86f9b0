#pragma once
// A jpeg_import_data slide keeps its file's JPEG stream in the movie, so the
// picture arrives unturned and uncropped: the bitmap fill's matrix does the
// slide's edits instead.

class CSlide;
class CSwfMatrix;

// The fill matrix that shows the file's picture (the slide's image size) in
// the slide's box, centred on the origin, as the pixel road shows it: the
// crop scaled to the display size, mirrored, then turned; the box clips
// what lies outside the crop. False when a term does not fit a SWF matrix
// (a sliver of a huge picture, say): the picture must then be encoded from
// its pixels. Expects the slide's orientation normalised.
bool ImportedJpegFill(const CSlide& slide, CSwfMatrix* out);
