#include "ui/ButtonCaption.h"

#include <cctype>

namespace rivanet::ui {

ButtonTag SplitTag(std::string_view tag) {
  const std::size_t comma = tag.find(',');
  if (comma == std::string_view::npos) return {std::string(tag), ""};
  return {std::string(tag.substr(0, comma)), std::string(tag.substr(comma + 1))};
}

CaptionOrigin PlaceCaption(double boxWidth, double boxHeight, double textWidth, double textHeight,
                           std::string_view code) {
  std::string upper;
  for (char c : code) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  const double left = 0;
  const double top = 0;
  const double right = boxWidth - textWidth;
  const double bottom = boxHeight - textHeight;
  CaptionOrigin at{boxWidth / 2 - textWidth / 2, boxHeight / 2 - textHeight / 2};
  if (upper == "U") {
    at.y = top;
  } else if (upper == "D") {
    at.y = bottom;
  } else if (upper == "L") {
    at.x = left;
  } else if (upper == "R") {
    at.x = right;
  } else if (upper == "UL") {
    at = {left, top};
  } else if (upper == "DR") {
    at = {right, bottom};
  } else if (upper == "DL") {
    at = {left, bottom};
  } else if (upper == "UR") {
    at = {right, top};
  }
  return at;
}

int TwipsToPixels(int twips) {
  return twips >= 0 ? (twips * 2 + 15) / 30 : -((-twips * 2 + 15) / 30);
}

}  // namespace rivanet::ui
