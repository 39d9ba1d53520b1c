// Pictures for the end-to-end run: writes JPEG files of four flat coloured quadrants and
// inspects JPEG files the program wrote (size, colours, baseline coding, quality tables).
// Talks to libjpeg directly, so it shares no code with the program under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::e2e {

struct Rgb {
  int R = 0, G = 0, B = 0;
};

// The colours of the top-left, top-right, bottom-left and bottom-right quadrants.
extern const Rgb QuadrantColors[4];

// A JPEG (quality 95, baseline) of width x height with the four quadrant colours, each
// with a fine grain of up to 7 levels either way, so that it codes like a photograph.
std::vector<uint8_t> MakeQuadrantJpeg(int width, int height);

// Rewrites the width and height in the frame header of a JPEG; false when there is none.
bool SetFrameSize(std::vector<uint8_t>* jpeg, int width, int height);

struct JpegFacts {
  bool Valid = false;
  int Width = 0, Height = 0, Components = 0;
  bool Baseline = false;     // the frame is SOF0
  bool Progressive = false;  // the frame is SOF2
  // Luminance and chrominance tables, in natural order, as the file carries them.
  std::vector<uint16_t> LumaTable, ChromaTable;
  // Decoded colours at the centres of the four quadrants.
  Rgb QuadrantCentres[4];
};

JpegFacts InspectJpeg(const std::vector<uint8_t>& bytes);

// The two tables libjpeg's own quality scaling gives for the quality (baseline limits).
void QualityTables(int quality, std::vector<uint16_t>* luma, std::vector<uint16_t>* chroma);

bool Near(const Rgb& a, const Rgb& b, int tolerance);
std::string ToText(const Rgb& c);

}  // namespace velmora::e2e
