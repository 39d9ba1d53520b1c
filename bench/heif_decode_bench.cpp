// velmora-heif-bench: decodes one HEIF file through velmora-heif.dll beside it, as the
// program would, REPEATS times, and prints the median times and the process's peak memory.
//
//   velmora-heif-bench IN.heic [REPEATS]
// Prints "open MS decode MS rows MS total MS (median of N)", the size, and "peak MB".
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/heif_decoder.h"

namespace {

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora;
  if (argc < 2) {
    std::fprintf(stderr, "usage: velmora-heif-bench IN.heic [REPEATS]\n");
    return 2;
  }
  if (!HeifLibrary::Installed().Loaded()) {
    std::fprintf(stderr, "velmora-heif.dll is not installed beside the program\n");
    return 1;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<double> open, decode, rows, total;
  HeifFacts facts;
  for (int i = 0; i < repeats; ++i) {
    const double t0 = Now();
    HeifImage image;
    HeifProblem problem = image.Open(argv[1]);
    const double t1 = Now();
    if (problem == HeifProblem::None) problem = image.Decode();
    const double t2 = Now();
    // The rows read as the shrink reads them, into a picture of their own.
    BgrPicture picture;
    if (problem == HeifProblem::None) {
      std::vector<uint8_t*> lines;
      if (picture.Allocate(int32_t(image.Facts().Width), int32_t(image.Facts().Height)))
        for (int32_t y = 0; y < picture.Height; ++y) lines.push_back(picture.Row(y));
      if (lines.empty() || !image.ReadRows(0, image.Facts().Height, lines.data()))
        problem = HeifProblem::NoMemory;
    }
    const double t3 = Now();
    if (problem != HeifProblem::None) {
      std::fprintf(stderr, "%s: refused (problem %d)\n", argv[1], static_cast<int>(problem));
      return 1;
    }
    facts = image.Facts();
    open.push_back(t1 - t0);
    decode.push_back(t2 - t1);
    rows.push_back(t3 - t2);
    total.push_back(t3 - t0);
  }
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("%u x %u, %d-bit\n", facts.Width, facts.Height, facts.BitDepth);
  std::printf("open %.1f ms decode %.1f ms rows %.1f ms total %.1f ms (median of %d)\n",
              Median(open), Median(decode), Median(rows), Median(total), repeats);
  std::printf("peak %.1f MB\n", static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0);
  return 0;
}
