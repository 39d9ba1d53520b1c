// velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2]: the Shrink action
// without a window.
// Opens IN as the program does, prints its size line, shrinks it by PERCENT through the
// program's streaming pipeline, prints the shrunk picture's size line and saves it as OUT.
// With --bench N the pipeline runs N times; the median times and the process's peak memory
// are printed.
// It never touches the window system.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/jpeg_image.h"
#include "imaging/shrink.h"
#include "imaging/streaming.h"
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
    } else if (std::strcmp(argv[i], "--threads") == 0) {
      long threads = i + 1 < argc ? ParseCount(argv[++i], 1, 2) : -1;
      if (threads < 0) return Fail("--threads needs 1 or 2");
      PipelineUsesTwoThreads = threads == 2;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (args.size() != 3) {
    std::fprintf(stderr,
                 "usage: velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2]\n");
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
  std::printf("%s\n",
              FormatSizeText(static_cast<int32_t>(opened.Image->UprightWidth()),
                             static_cast<int32_t>(opened.Image->UprightHeight()), opened.FileSize)
                  .c_str());

  uint32_t bytes = 0;
  ShrinkReport report;
  JpegImage* shrunk = ShrinkPicture(opened.Image, static_cast<int32_t>(percent), &bytes, &report);
  FreeObject(opened.Image);
  if (!shrunk && report.Problem != PictureProblem::None)
    return Fail(std::string(in) + ": the picture " + DescribeProblem(report.Problem));
  if (!shrunk)
    return Fail("no shrunk picture: " + std::to_string(percent) + "% leaves a side of 0 pixels");
  std::printf("%s\n", FormatSizeText(static_cast<int32_t>(shrunk->UprightWidth()),
                                     static_cast<int32_t>(shrunk->UprightHeight()), bytes)
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
    std::vector<double> read, shrink, total;
    int32_t eighths = 8;
    for (long i = 0; i < repeats; ++i) {
      double start = NowMs();
      Opened again = OpenPicture(in);
      double loaded = NowMs();
      ShrinkReport r;
      uint32_t n = 0;
      JpegImage* result = ShrinkPicture(again.Image, static_cast<int32_t>(percent), &n, &r);
      double end = NowMs();
      FreeObject(result);
      FreeObject(again.Image);
      eighths = r.DecodeEighths;
      read.push_back(loaded - start);
      shrink.push_back(r.Milliseconds);
      total.push_back(end - start);
    }
    std::printf("median of %ld runs (ms): read %.1f shrink %.1f total %.1f\n", repeats,
                Median(read), Median(shrink), Median(total));
    std::printf("decoded at %d/8 of full size, %s\n", eighths,
                PipelineUsesTwoThreads ? "two threads" : "one thread");
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
      std::printf("peak memory %.1f MB private, %.1f MB working set\n",
                  memory.PeakPagefileUsage / 1048576.0, memory.PeakWorkingSetSize / 1048576.0);
  }
  return 0;
}
