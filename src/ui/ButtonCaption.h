#pragma once

#include <string>
#include <string_view>

namespace rivanet::ui {

// A picture button's description: "<caption>,<alignment code>". The caption is the text before
// the first comma, the code all text after it (blanks included on both sides); a description
// without a comma is a caption alone, centred.
struct ButtonTag {
  std::string caption;
  std::string code;
};

ButtonTag SplitTag(std::string_view tag);

// The top-left corner of a caption of `textWidth` x `textHeight` in a box of `boxWidth` x
// `boxHeight`, placed by its alignment code: C (or empty) centred, U top, D bottom, L left,
// R right, UL, UR, DL, DR the corners; letter case does not matter and any other code centres.
struct CaptionOrigin {
  double x = 0;
  double y = 0;
};

CaptionOrigin PlaceCaption(double boxWidth, double boxHeight, double textWidth, double textHeight,
                           std::string_view code);

// The window layout is measured in twips, 15 to a pixel; halves round up.
int TwipsToPixels(int twips);

// A pressed picture button moves 24 twips right and 12 twips down, so that it looks pushed in.
inline constexpr int kPressShiftXTwips = 24;
inline constexpr int kPressShiftYTwips = 12;

}  // namespace rivanet::ui
