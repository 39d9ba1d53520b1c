// Pictures for the end-to-end run: writes JPEG files of four flat coloured quadrants and
// inspects the JPEG files the program wrote (size, colours, baseline coding, quality tables).
// Talks to libjpeg directly, so it shares no code with the program under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::e2e {

struct Rgb {
  int R = 0, G = 0, B = 0;
};
// Top-left, top-right, bottom-left and bottom-right.
extern const Rgb QuadrantColors[4];
bool Near(const Rgb& a, const Rgb& b, int tolerance);

// A baseline JPEG (quality 95) of the four quadrant colours with a fine grain of up to 7
// levels either way, so that it codes like a photograph.
std::vector<uint8_t> MakeQuadrantJpeg(int width, int height);
// Rewrites the size in the frame header; false when there is no frame header.
bool SetFrameSize(std::vector<uint8_t>* jpeg, int width, int height);

struct JpegFacts {
  bool Valid = false, Baseline = false;  // Baseline: the frame is SOF0
  int Width = 0, Height = 0, Components = 0;
  std::vector<uint16_t> LumaTable, ChromaTable;  // natural order
  Rgb QuadrantCentres[4];                        // decoded colours
};
JpegFacts InspectJpeg(const std::vector<uint8_t>& bytes);
// The tables libjpeg's own quality scaling gives for the quality (baseline limits).
void QualityTables(int quality, std::vector<uint16_t>* luma, std::vector<uint16_t>* chroma);

}  // namespace velmora::e2e
