#pragma once
// The kinds that cut a slide into pieces, each a mask over a copy of the
// slide: Slide Close (halves or quarters of the new slide close in over the
// old one), Slide Open (the old slide's halves or quarters part) and Slide
// Triangle Open (the old slide's triangles part). They share the direction
// pop-up, the "direction" attribute and the four piece slots.
#include <cstdint>
#include <vector>

#include "show/transition.h"
#include "transitions/clip_layers.h"
#include "transitions/directional_transition.h"

// A triangle over half of the rectangle, cut along a diagonal; (a, b) pick
// the half: (1, 1) upper left, (1, 0) upper right, (0, 1) lower left, (0, 0)
// lower right. Its character id, 0 when the ids ran out.
uint16_t DefineDiagonalTriangleShape(const clip_layers::MaskRect& rect, int a, int b, CSwfMovie* movie,
                                     uint16_t* characterIdCounter);
// A triangle with one side of the rectangle as its base and the middle of
// the opposite side as its apex; (a, b) pick the base: (1, 1) left, (1, 0)
// top, (0, 1) bottom, (0, 0) right.
uint16_t DefineApexTriangleShape(const clip_layers::MaskRect& rect, int a, int b, CSwfMovie* movie,
                                 uint16_t* characterIdCounter);

// A direction outside the kind's table cuts.
class CSlidePieceTransition : public CDirectionalTransition {
public:
    // The depths of one piece's clip pair; 0 when the slot placed nothing.
    struct Slot {
        uint16_t copyDepth = 0;
        uint16_t maskDepth = 0;
    };

    void SetDefaults() override { direction = 0; }
    // Into any kind of the family.
    bool ReadSettingsControls(CTransition* target) const override;

    // Slots 1 to 4 of the last run; an empty slot for any other number.
    Slot GetSlot(int slot) const { return slot >= 1 && slot <= 4 ? slots_[slot - 1] : Slot{}; }

protected:
    // What one piece is cut as: a rectangle or one of the triangles, in
    // twips about the slide's centre.
    enum class Outline { kRect, kDiagonal, kApex };
    struct Piece {
        int slot;  // 1..4
        Outline outline;
        clip_layers::MaskRect rect;
        int a = 0, b = 0;       // which triangle
        double x = 0, y = 0;    // where mask and copy start
        double tx = 0, ty = 0;  // how far they go over the frames
        // Frame k of n stands k / n of the travel on: in whole twips
        // truncated towards zero, or in double precision when evenly is set.
        bool evenly = false;
    };

    CSlidePieceTransition(const char* name, const DirectionTable& table, const DirectionLayout& layout);

    // Takes the slot's mask and copy depths and defines the piece's mask
    // shape; its id, 0 (and the slot empty) when depths or ids ran out.
    uint16_t DefinePieceMask(const Piece& piece, CSwfMovie* movie, uint16_t* characterIdCounter,
                             uint16_t* depthCounter);
    // The mask at the slot's mask depth clipping the copy of the slide above
    // it, both at the piece's position; the copy at the slide's placement
    // scale or at scale 1.0.
    void PlacePair(const Piece& piece, uint16_t maskId, const CSlide& slide, bool copyScaled, CSwfMovie* movie);
    // Depths, shape and the pair, in one go.
    void PlacePiece(const Piece& piece, const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter,
                    uint16_t* depthCounter);
    // n frames: each piece moves on, its copy then its mask, in the order
    // given; one ShowFrame a frame.
    void MovePieces(std::vector<Piece>& pieces, unsigned n, const CSlide& slide, bool copyScaled, CSwfMovie* movie);
    // Mask and copy of slots 1 to 4 in turn; empty slots skipped.
    void RemoveSlots(CSwfMovie* movie) const;
    void ClearSlots();

    // The slide's quarters, top left (slot 1), top right (3), bottom left
    // (2), bottom right (4), each distance out from (x, y) towards its own
    // corner on both axes and travelling that way by travel.
    static std::vector<Piece> Quarters(const CSlide& slide, double x, double y, double distance, double travel);
    // How many times its travel a piece must go for the frame (w × h twips)
    // to show none of it: its trailing edge past the frame's edge on one
    // axis, or on either when it goes along both; 0 when it does not move.
    static double Reach(const Piece& piece, int64_t w, int64_t h);
    // Every piece's travel lengthened by one factor, its direction kept,
    // until each piece has left the frame by the last frame, whatever the
    // slide's shown scale and place; a travel that already takes every
    // piece out is kept, so a slide filling the frame goes its direction
    // table's distances.
    static void TravelOutOf(std::vector<Piece>& pieces, int64_t w, int64_t h);
    // The new slide's pieces: all shapes, then the pairs at scale 1.0, the
    // frames (copies moved at the slide's scale when asked), the removals.
    void ClosePieces(std::vector<Piece>& pieces, CSlide& slide, bool scaledMoves, unsigned n, CSwfMovie* movie,
                     uint16_t* characterIdCounter, uint16_t* depthCounter);
    // The opening kinds' start: slots cleared, the new slide placed, the
    // previous one's layer taken off. False when there is nothing to open:
    // no previous slide, or a direction outside 0..directions - 1.
    bool StartOpening(CSlide* slide, CSlide* previous, CSwfMovie* movie, int directions);
    // The previous slide's pieces, each defined and placed in placeOrder
    // (indices into pieces), then moved in their own order and removed.
    void OpenPieces(std::vector<Piece>& pieces, const std::vector<int>& placeOrder, CSlide& previous, unsigned n,
                    CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter);

    // The slide's half width and height in twips, as the pieces are cut.
    static int32_t HalfWidth(const CSlide& slide);
    static int32_t HalfHeight(const CSlide& slide);
    // The pieces of a slide of half size hw × hh about its centre.
    static clip_layers::MaskRect LeftHalf(int32_t hw, int32_t hh) { return {-hh, -hw, hh, 0}; }
    static clip_layers::MaskRect RightHalf(int32_t hw, int32_t hh) { return {-hh, 0, hh, hw}; }
    static clip_layers::MaskRect TopHalf(int32_t hw, int32_t hh) { return {-hh, -hw, 0, hw}; }
    static clip_layers::MaskRect BottomHalf(int32_t hw, int32_t hh) { return {0, -hw, hh, hw}; }

    Slot slots_[4];
};

// A kind of the family and its control ids.
template <class Kind, uint32_t Label, uint32_t Popup>
class CSlidePieceKind : public CTransitionKind<Kind, CSlidePieceTransition> {
public:
    static constexpr uint32_t kLabelId = Label;
    static constexpr uint32_t kPopupId = Popup;

protected:
    CSlidePieceKind(const char* name, const DirectionTable& table)
        : CTransitionKind<Kind, CSlidePieceTransition>(name, table, DirectionLayout{Label, Popup, "Direction"})
    {
    }
};

class CSlideCloseTransition : public CSlidePieceKind<CSlideCloseTransition, 10014, 10015> {
public:
    CSlideCloseTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CSlideOpenTransition : public CSlidePieceKind<CSlideOpenTransition, 10016, 10017> {
public:
    // Without a slide before it, it writes no frame.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    CSlideOpenTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CSlideTriangleOpenTransition : public CSlidePieceKind<CSlideTriangleOpenTransition, 10018, 10019> {
public:
    // Without a slide before it, it writes no frame.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    CSlideTriangleOpenTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};
