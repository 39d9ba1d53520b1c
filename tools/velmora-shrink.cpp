// velmora-shrink: the Shrink action without a window, for one photo or several.
//
//   velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2]
// Opens IN as the program does, prints its size line, shrinks it by PERCENT through the
// program's streaming pipeline, prints the shrunk picture's size line and saves it as OUT.
// With --bench N the pipeline runs N times; the median times and the process's peak memory
// are printed. --threads 1 keeps the pipeline on one thread.
//
//   velmora-shrink PERCENT IN.jpg... --into FOLDER [--workers N] [--threads 1|2] [--bench N]
// Shrinks every IN on worker threads (BatchShrinker: by default one per processor, at most
// two) and writes each into FOLDER under its own file name (a HEIC photo's as NAME.jpg), never
// over an input. Prints the two size lines of each photo shrunk, in the order given, then a
// total line ("3 photos: 11.2 MB to 1.1 MB"); each photo that fails is named on standard
// error and the exit code is then 1. --workers sets the number of workers, --threads 1 or 2 whether
// each photo's decode may get a thread of its own (by default not when there are several workers).
// With
// --bench N the whole batch runs N more times without writing, and the median time and the
// process's peak memory are printed.
//
// IN may also be a HEIF/HEIC photo when velmora-heif.dll lies beside the tool.
//
// It needs no window and loads no part of the window system.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/wording.h"
#include "imaging/batch_shrink.h"
#include "imaging/heif_shrink.h"
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

int Usage() {
  std::fprintf(stderr,
               "usage: velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2], or"
               " velmora-shrink PERCENT IN.jpg... --into FOLDER [--workers N] [--threads 1|2]"
               " [--bench N]\n");
  return 2;
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

void PrintPeakMemory() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
    std::printf("peak memory %.1f MB private, %.1f MB working set\n",
                memory.PeakPagefileUsage / 1048576.0, memory.PeakWorkingSetSize / 1048576.0);
}

// What the command line asked for.
struct Request {
  long Repeats = 0;
  long Threads = 0;  // 0: not given
  long Workers = 0;  // 0: the shrinker's default
  const char* Folder = nullptr;
  std::vector<const char*> Args;  // the arguments that are not options
};

// The whole file is read into memory first, as the program's Open does (ReadWholeFile); a
// HEIF photo is read by the HEIF decoder itself.
bool ShrinkOpened(const char* in, Stream* opened, long percent, Stream* out, ShrinkReport& report) {
  if (LooksLikeHeif(static_cast<const uint8_t*>(opened->Memory), opened->Size()))
    return ShrinkHeifFile(in, static_cast<int32_t>(percent), out, report);
  return ShrinkJpegBytes(static_cast<const uint8_t*>(opened->Memory), opened->Size(),
                         static_cast<int32_t>(percent), out, report);
}

// ---- one photo ----

int ShrinkOne(const Request& request) {
  const char* in = request.Args[0];
  const char* out = request.Args[2];
  const long repeats = request.Repeats;
  long percent = ParseCount(request.Args[1], 1, 100);
  if (percent < 0) return Fail(std::string("bad percentage '") + request.Args[1] + "' (1 to 100)");
  if (IsSameFile(in, out)) return Fail("OUT must not be the input file");

  Stream* opened = ReadWholeFile(in);
  if (!opened) return Fail(std::string(in) + ": cannot open the file");
  const uint32_t fileSize = opened->Size();
  Stream* shrunk = MakeMemoryStream();
  ShrinkReport report;
  const bool made = ShrinkOpened(in, opened, percent, shrunk, report);
  FreeObject(opened);
  if (report.OriginalWidth == 0 || report.OriginalHeight == 0) {
    FreeObject(shrunk);
    if (report.Problem == PictureProblem::NotInstalled)
      return Fail(std::string(in) + ": the picture " + ProblemText(report.Problem));
    return Fail(std::string(in) + ": not a JPEG file that can be read");
  }
  std::printf("%s\n", FormatSizeText(static_cast<int32_t>(report.OriginalWidth),
                                     static_cast<int32_t>(report.OriginalHeight), fileSize)
                          .c_str());
  if (!made) {
    FreeObject(shrunk);
    if (report.Problem != PictureProblem::None)
      return Fail(std::string(in) + ": the picture " + ProblemText(report.Problem));
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
      Stream* again = ReadWholeFile(in);
      if (!again) return Fail(std::string(in) + ": cannot open the file");
      double loaded = NowMs();
      ShrinkReport r;
      Stream* result = MakeMemoryStream();
      ShrinkOpened(in, again, percent, result, r);
      double end = NowMs();
      FreeObject(result);
      FreeObject(again);
      eighths = r.DecodeEighths;
      read.push_back(loaded - start);
      shrink.push_back(r.Milliseconds);
      total.push_back(end - start);
    }
    std::printf("median of %ld runs (ms): read %.1f shrink %.1f total %.1f\n", repeats,
                Median(read), Median(shrink), Median(total));
    std::printf("decoded at %d/8 of full size, %s\n", eighths,
                PipelineUsesTwoThreads ? "two threads" : "one thread");
    PrintPeakMemory();
  }
  return 0;
}

// ---- several photos ----

// The file name of a path written with either separator.
std::string NameOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// What became of one photo of the batch, filled in by the worker that shrank it.
struct Outcome {
  bool Ready = false;
  std::string Lines;  // the two size lines, when it was shrunk and written
  std::string Error;  // why not, otherwise
  uint32_t OriginalBytes = 0;
  uint32_t ShrunkBytes = 0;
};

// Shared between the workers' callback and the main thread.
struct Batch {
  std::vector<std::string> Inputs;   // the photos given to the shrinker
  std::vector<std::string> Targets;  // where each goes
  int32_t Percent = 0;
  bool Write = true;  // false for the --bench repeats
  std::mutex Lock;
  std::condition_variable Arrived;
  std::vector<Outcome> Outcomes;
  size_t Count = 0;  // outcomes ready
};

// Why a photo has no shrunk picture.
std::string FailureText(const BatchResult& result, const std::string& input, int32_t percent) {
  if (result.Unreadable) return input + ": cannot open the file";
  if (result.Problem == PictureProblem::NotJpeg)
    return input + ": not a JPEG file that can be read";
  if (result.Problem != PictureProblem::None)
    return input + ": the picture " + ProblemText(result.Problem);
  return input + ": " + std::to_string(percent) + "% leaves a side of 0 pixels";
}

// On a worker: writes the shrunk photo and keeps what is to be printed of it.
void PhotoDone(void* context, const BatchResult& result) {
  auto* batch = static_cast<Batch*>(context);
  Outcome outcome;
  outcome.Ready = true;
  outcome.OriginalBytes = result.OriginalBytes;
  const std::string& input = batch->Inputs[result.Index];
  if (!result.Copy) {
    outcome.Error = FailureText(result, input, batch->Percent);
  } else if (batch->Write) {
    const std::string& target = batch->Targets[result.Index];
    // Written beside the target and put in its place only when complete.
    if (SaveWholeFile(target, result.Copy->Memory, result.Copy->Size())) {
      outcome.ShrunkBytes = result.ShrunkBytes;
      outcome.Lines =
          FormatSizeText(static_cast<int32_t>(result.OriginalWidth),
                         static_cast<int32_t>(result.OriginalHeight), result.OriginalBytes) +
          "\n" +
          FormatSizeText(static_cast<int32_t>(result.ShrunkWidth),
                         static_cast<int32_t>(result.ShrunkHeight), result.ShrunkBytes) +
          "\n";
    } else {
      outcome.Error = target + ": cannot write the file";
    }
  }
  FreeObject(result.Copy);
  std::lock_guard<std::mutex> lock(batch->Lock);
  batch->Outcomes[result.Index] = std::move(outcome);
  ++batch->Count;
  batch->Arrived.notify_all();
}

// Runs the batch; with print, each photo's lines (or error) as soon as those before it are out.
// Gives the milliseconds until the first photo's result was in.
double RunBatch(BatchShrinker& shrinker, Batch& batch, bool print) {
  batch.Outcomes.assign(batch.Inputs.size(), Outcome{});
  batch.Count = 0;
  const double start = NowMs();
  double first = 0;
  shrinker.Start(batch.Inputs, batch.Percent, 0, PhotoDone, &batch);
  std::unique_lock<std::mutex> lock(batch.Lock);
  for (size_t next = 0; next < batch.Inputs.size(); ++next) {
    batch.Arrived.wait(lock, [&] { return batch.Outcomes[next].Ready; });
    if (next == 0) first = NowMs() - start;
    if (!print) continue;
    const Outcome& outcome = batch.Outcomes[next];
    if (outcome.Error.empty())
      std::fputs(outcome.Lines.c_str(), stdout);
    else
      std::fprintf(stderr, "velmora-shrink: %s\n", outcome.Error.c_str());
    std::fflush(stdout);
  }
  return first;
}

int ShrinkSeveral(const Request& request) {
  const long percent = ParseCount(request.Args[0], 1, 100);
  if (percent < 0) return Fail(std::string("bad percentage '") + request.Args[0] + "' (1 to 100)");
  const std::string folder = request.Folder;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(folder + ": not a folder");
  // Copies are named in the folder with the separator the folder is written with.
  const char separator =
      folder.find('\\') == std::string::npos && folder.find('/') != std::string::npos ? '/' : '\\';
  const std::string into =
      folder.back() == '\\' || folder.back() == '/' ? folder : folder + separator;

  // Photos whose copy would replace an input, or the copy of an earlier photo of the same
  // name, are refused before anything is shrunk.
  const std::vector<std::string> all(request.Args.begin() + 1, request.Args.end());
  const FileSet inputs(all);
  auto isInput = [&](const std::string& target) { return inputs.Holds(target); };
  Batch batch;
  batch.Percent = static_cast<int32_t>(percent);
  std::vector<std::string> refused;
  for (const std::string& input : all) {
    const std::string target = into + CopyFileName(NameOf(input));
    const bool overInput = isInput(target);
    const bool taken = std::any_of(
        batch.Targets.begin(), batch.Targets.end(),
        [&](const std::string& other) { return lstrcmpiA(other.c_str(), target.c_str()) == 0; });
    if (NameOf(input).empty())
      refused.push_back(input + ": no file name");
    else if (overInput)
      refused.push_back(input + ": its copy " + target + " would replace an input (not written)");
    else if (taken)
      refused.push_back(input + ": an earlier photo of the same name goes to " + target);
    else
      batch.Inputs.push_back(input), batch.Targets.push_back(target);
  }
  for (const std::string& text : refused) Fail(text);

  BatchShrinker shrinker(static_cast<int>(request.Workers));
  if (request.Threads == 1) shrinker.SetPipelineThreading(PipelineThreading::OneThread);
  if (request.Threads == 2) {
    PipelineUsesTwoThreads = true;
    shrinker.SetPipelineThreading(PipelineThreading::Auto);
  }
  RunBatch(shrinker, batch, true);

  size_t shrunk = 0;
  uint64_t originalBytes = 0, shrunkBytes = 0;
  for (const Outcome& outcome : batch.Outcomes) {
    if (!outcome.Error.empty()) continue;
    ++shrunk;
    originalBytes += outcome.OriginalBytes;
    shrunkBytes += outcome.ShrunkBytes;
  }
  std::printf("%s\n", FormatBatchTotal(shrunk, originalBytes, shrunkBytes).c_str());
  const size_t failed = all.size() - shrunk;
  if (failed > 0)
    Fail(std::to_string(failed) + " of " + std::to_string(all.size()) + " photos not shrunk");

  if (request.Repeats > 0 && !batch.Inputs.empty()) {
    batch.Write = false;
    std::vector<double> times, firsts;
    for (long i = 0; i < request.Repeats; ++i) {
      const double start = NowMs();
      firsts.push_back(RunBatch(shrinker, batch, false));
      times.push_back(NowMs() - start);
    }
    const double median = Median(times);
    std::printf("median of %ld runs (ms): batch %.1f per photo %.1f first photo %.1f\n",
                request.Repeats, median, median / static_cast<double>(batch.Inputs.size()),
                Median(firsts));
    // As set above, or the shrinker's default: a second thread only for a lone worker.
    const bool twoThreads =
        request.Threads == 2 ||
        (request.Threads == 0 && shrinker.Threads() == 1 && PipelineUsesTwoThreads);
    std::printf("%d workers, %s per photo\n", shrinker.Threads(),
                twoThreads ? "two threads" : "one thread");
    PrintPeakMemory();
  }
  std::fflush(stdout);
  return failed > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(arg, "--bench") == 0) {
      request.Repeats = ParseCount(value, 1, 10000);
      if (request.Repeats < 0) return Fail("--bench needs a count from 1 to 10000");
      ++i;
    } else if (std::strcmp(arg, "--threads") == 0) {
      request.Threads = ParseCount(value, 1, 2);
      if (request.Threads < 0) return Fail("--threads needs 1 or 2");
      ++i;
    } else if (std::strcmp(arg, "--workers") == 0) {
      request.Workers = ParseCount(value, 1, 16);
      if (request.Workers < 0) return Fail("--workers needs a count from 1 to 16");
      ++i;
    } else if (std::strcmp(arg, "--into") == 0) {
      if (!value || !*value) return Fail("--into needs a folder");
      request.Folder = value;
      ++i;
    } else {
      request.Args.push_back(arg);
    }
  }
  if (request.Folder) {
    if (request.Args.size() < 2) return Usage();
    return ShrinkSeveral(request);
  }
  if (request.Args.size() != 3 || request.Workers != 0) return Usage();
  if (request.Threads != 0) PipelineUsesTwoThreads = request.Threads == 2;
  return ShrinkOne(request);
}
