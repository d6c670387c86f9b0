#pragma once
// A jpeg_import_data slide keeps its file's JPEG stream in the movie, and a
// jpeg_external slide has the player load its file: either way the picture
// arrives unturned and uncropped, so a matrix does the slide's edits instead.

class CSlide;
class CSwfMatrix;

// The fill matrix that shows the file's picture (the slide's image size) in
// the slide's box, centred on the origin, as the pixel road shows it: the
// crop scaled to the display size, mirrored, then turned; the box clips
// what lies outside the crop. False when a term does not fit a SWF matrix
// (a sliver of a huge picture, say): the picture must then be encoded from
// its pixels. Expects the slide's orientation normalised.
bool ImportedJpegFill(const CSlide& slide, CSwfMatrix* out);

// The placement of the clip a jpeg_external slide loads its file into,
// inside the clip that holds it (the box's top-left corner at the origin):
// the same turns, mirrors and crop scaling as ImportedJpegFill. Unedited, it
// only scales the picture to the box. False when a term does not fit.
bool ExternalJpegMatrix(const CSlide& slide, CSwfMatrix* out);

// Whether the slide's crop leaves out part of the picture, so that what
// shows the whole loaded picture must be masked to the box.
bool ExternalJpegCrop(const CSlide& slide);
