// velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2]: the Shrink action
// without a window.
// Opens IN as the program does, prints its size line, shrinks it by PERCENT through the
// program's streaming pipeline, prints the shrunk picture's size line and saves it as OUT.
// With --bench N the pipeline runs N times; the median times and the process's peak memory
// are printed.
// It needs no window and loads no part of the window system.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/shrink.h"
#include "imaging/streaming.h"
#include "toolkit/stream.h"
#include "toolkit/whole_file.h"

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
  Stream* Bytes = nullptr;  // the whole file, or null when it cannot be read
  uint32_t FileSize = 0;
};

// Reads the whole file into memory, as the program's Open does.
Opened ReadPicture(const char* name) {
  Opened result;
  Stream* file = OpenFileForReading(name);
  if (file->Handle() != INVALID_HANDLE_VALUE) {
    result.FileSize = file->Size();
    result.Bytes = MakeMemoryStream();
    result.Bytes->SetSize(result.FileSize);
    if (result.FileSize > 0)
      result.Bytes->SetSize(file->Read(result.Bytes->Memory, result.FileSize));
  }
  FreeObject(file);
  return result;
}

bool Shrink(const Opened& opened, long percent, Stream* out, ShrinkReport& report) {
  return ShrinkJpegBytes(static_cast<const uint8_t*>(opened.Bytes->Memory), opened.Bytes->Size(),
                         static_cast<int32_t>(percent), out, report);
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

  Opened opened = ReadPicture(in);
  if (!opened.Bytes) return Fail(std::string(in) + ": cannot open the file");
  Stream* shrunk = MakeMemoryStream();
  ShrinkReport report;
  const bool made = Shrink(opened, percent, shrunk, report);
  FreeObject(opened.Bytes);
  if (report.OpenedWidth <= 0 || report.OpenedHeight <= 0) {
    FreeObject(shrunk);
    return Fail(std::string(in) + ": not a JPEG file that can be read");
  }
  std::printf("%s\n",
              FormatSizeText(report.OpenedWidth, report.OpenedHeight, opened.FileSize).c_str());
  if (!made) {
    FreeObject(shrunk);
    if (report.Problem != PictureProblem::None)
      return Fail(std::string(in) + ": the picture " + DescribeProblem(report.Problem));
    return Fail("no shrunk picture: " + std::to_string(percent) + "% leaves a side of 0 pixels");
  }
  std::printf("%s\n", FormatSizeText(report.Width, report.Height, report.Bytes).c_str());

  DWORD attributes = GetFileAttributesA(out);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    FreeObject(shrunk);
    return Fail(std::string(out) + ": is a folder");
  }
  // Written beside the target and put in its place only when complete.
  const bool saved = SaveWholeFile(out, shrunk->Memory, shrunk->Size());
  FreeObject(shrunk);
  if (!saved) return Fail(std::string(out) + ": cannot write the file");

  if (repeats > 0) {
    std::vector<double> read, shrink, total;
    int32_t eighths = 8;
    for (long i = 0; i < repeats; ++i) {
      double start = NowMs();
      Opened again = ReadPicture(in);
      double loaded = NowMs();
      ShrinkReport r;
      Stream* result = MakeMemoryStream();
      Shrink(again, percent, result, r);
      double end = NowMs();
      FreeObject(result);
      FreeObject(again.Bytes);
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
