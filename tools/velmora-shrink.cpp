// velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N]: the Shrink action without a window.
// Opens IN as the program does, prints its size line, shrinks it by PERCENT with HALFTONE
// stretching, prints the shrunk picture's size line and saves it as OUT. With --bench N the
// pipeline runs N times and the median time of each phase is printed.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "toolkit/stream.h"

using namespace velmora;

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "velmora-shrink: %s\n", text.c_str());
  return 1;
}

// A whole number from first to last, or -1.
long ParseCount(const char* text, long first, long last) {
  if (!text || !*text) return -1;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text) return -1;
  if (*end == '%') ++end;
  if (*end != '\0' || value < first || value > last) return -1;
  return value;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Opened {
  JpegImage* Image = nullptr;
  uint32_t FileSize = 0;
};

// Open as the program's Open action does: a read stream, a new picture, ReadFrom.
Opened OpenPicture(const char* name) {
  Opened result;
  Stream* file = OpenFileForReading(name);
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    result.Image = MakeJpegImage();
    result.Image->SetOutputDepth(Depth24);
    result.Image->ReadFrom(file);
    result.FileSize = file->Size();
  }
  FreeObject(file);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  long repeats = 0;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bench") == 0) {
      repeats = i + 1 < argc ? ParseCount(argv[++i], 1, 10000) : -1;
      if (repeats < 0) return Fail("--bench needs a count from 1 to 10000");
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N]\n");
    return 2;
  }
  const char* in = args[0];
  const char* out = args[2];
  long percent = ParseCount(args[1], 1, 100);
  if (percent < 0) return Fail(std::string("bad percentage '") + args[1] + "' (1 to 100)");
  if (IsSameFile(in, out)) return Fail("OUT must not be the input file");

  Opened opened = OpenPicture(in);
  if (!opened.Image) return Fail(std::string(in) + ": cannot open the file");
  if (opened.Image->IsEmpty()) {
    FreeObject(opened.Image);
    return Fail(std::string(in) + ": not a JPEG file that can be read");
  }
  std::printf("%s\n", FormatSizeText(static_cast<int32_t>(opened.Image->Width()),
                                     static_cast<int32_t>(opened.Image->Height()), opened.FileSize)
                          .c_str());

  uint32_t bytes = 0;
  ShrinkTimes times;
  JpegImage* shrunk = ShrinkPicture(opened.Image, static_cast<int32_t>(percent), &bytes, &times);
  bool damaged = times.DecodeFailed;
  FreeObject(opened.Image);
  if (damaged) {
    FreeObject(shrunk);
    return Fail(std::string(in) + ": the JPEG data is damaged and cannot be decoded");
  }
  if (!shrunk)
    return Fail("no shrunk picture: " + std::to_string(percent) +
                "% leaves a side of 0 pixels, or the picture is too large");
  std::printf("%s\n", FormatSizeText(static_cast<int32_t>(shrunk->Width()),
                                     static_cast<int32_t>(shrunk->Height()), bytes)
                          .c_str());

  DWORD attributes = GetFileAttributesA(out);
  bool existed = attributes != INVALID_FILE_ATTRIBUTES;
  if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    FreeObject(shrunk);
    return Fail(std::string(out) + ": is a folder");
  }
  bool saved = shrunk->WriteToFile(out);
  FreeObject(shrunk);
  if (!saved) {
    if (!existed) DeleteFileA(out);
    return Fail(std::string(out) + ": cannot write the file");
  }

  if (repeats > 0) {
    std::vector<double> read, decode, stretch, encode, total;
    int shift = 0;
    for (long i = 0; i < repeats; ++i) {
      double start = NowMs();
      Opened again = OpenPicture(in);
      double loaded = NowMs();
      ShrinkTimes t;
      uint32_t n = 0;
      JpegImage* result = ShrinkPicture(again.Image, static_cast<int32_t>(percent), &n, &t);
      double end = NowMs();
      FreeObject(result);
      FreeObject(again.Image);
      shift = t.ScaleShift;
      read.push_back(loaded - start);
      decode.push_back(t.Decode);
      stretch.push_back(t.Stretch);
      encode.push_back(t.Encode);
      total.push_back(end - start);
    }
    std::printf(
        "median of %ld runs (ms): read %.1f decode %.1f stretch %.1f encode %.1f total %.1f\n",
        repeats, Median(read), Median(decode), Median(stretch), Median(encode), Median(total));
    std::printf("decoded at 1/%d of full size for the stretch\n", 1 << shift);
  }
  return 0;
}
