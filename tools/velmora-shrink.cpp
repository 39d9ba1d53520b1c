// velmora-shrink: the Shrink action without a window, for one photo or several.
//
//   velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2] [--coding C]
// Opens IN as the program does, prints its size line, shrinks it by PERCENT through the
// program's streaming pipeline, prints the shrunk picture's size line and saves it as OUT.
// With --bench N the pipeline runs N times; the median times and the process's peak memory
// are printed, and how the copy was coded. --threads 1 keeps the pipeline on one thread.
// --coding Q[/C]:S:L[:std] codes the copy with the codec's tables of quality Q (the chroma
// table of quality C), chroma sampling S (420 or 444), rate-distortion weight L (0: every
// coefficient rounded; rL measures errors in quantizer steps) and, with std, the standard
// Huffman tables (90:420:0:std is the codec's default coding), for comparisons.
//
//   velmora-shrink PERCENT IN.jpg... --into FOLDER [--workers N] [--threads 1|2] [--bench N]
// Shrinks every IN on worker threads (BatchShrinker: by default one per processor, at most
// two) and writes each into FOLDER under its own file name (a HEIC photo's as NAME.jpg), never
// over an input. Prints the two size lines of each photo shrunk, in the order given, then a
// total line ("3 photos: 11.2 MB to 1.1 MB"); each photo that fails is named on standard
// error and the exit code is then 1. --workers sets the number of workers, --threads 1 or 2
// whether each photo's decode may get a thread of its own (by default not when there are
// several workers). With --bench N the whole batch runs N more times without writing, and the
// median time and the process's peak memory are printed.
//
//   velmora-shrink --fit SIZE IN.jpg OUT.jpg [--bench N]
//   velmora-shrink --mail SIZE IN.jpg... --into FOLDER [--workers N] [--bench N]
// Fit under a size (SIZE like 500KB, 1MB, 25MB; KB = 1,024 bytes, MB = 1,048,576): --fit
// saves the largest copy of IN that is at most SIZE; --mail writes into FOLDER the copies of
// all the photos at the largest common scale with which they fit one mail of at most SIZE
// (attachments counted as mail sends them, see imaging/fit.h). Each prints the size lines of
// each photo, the total line with the scale chosen and the limit, and a line saying what the
// search tried. When the photos cannot fit even at the smallest size nothing is written; a
// photo that cannot be read is named and left out; either way the exit code is 1. With
// --bench N the fit runs N more times without writing, and so does a plain shrink of the
// photos at the scale found (the same workers), side by side, and the medians are printed.
//
// The percentage modes also take HEIF/HEIC photos when velmora-heif.dll lies beside the tool.
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
#include "imaging/fit.h"
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
               "usage: velmora-shrink IN.jpg PERCENT OUT.jpg [--bench N] [--threads 1|2]"
               " [--coding C], or velmora-shrink PERCENT IN.jpg... --into FOLDER [--workers N]"
               " [--threads 1|2] [--bench N], or velmora-shrink --fit SIZE IN.jpg OUT.jpg"
               " [--bench N], or velmora-shrink --mail SIZE IN.jpg... --into FOLDER [--workers N]"
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
  uint64_t Limit = 0;  // --fit or --mail SIZE
  bool Mail = false;
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
    const JpegCoding coding = CodingFor(ShrinkQuality);
    if (!CodedWhole(report.Width, report.Height, coding))
      std::printf("coded row by row: quality %d, 4:2:0, standard Huffman tables\n", ShrinkQuality);
    else
      std::printf("coded %s: tables of quality %d/%d, %s, lambda %s%.4f, %s Huffman tables\n",
                  coding.Lambda > 0 ? "from coefficients held whole" : "by the codec",
                  coding.TableQuality,
                  coding.ChromaQuality > 0 ? coding.ChromaQuality : coding.TableQuality,
                  coding.FullChroma ? "4:4:4" : "4:2:0", coding.Relative ? "(in steps) " : "",
                  double(coding.Lambda), coding.OptimizeTables ? "optimized" : "standard");
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

// Why a photo has no copy when its file or its picture is the reason (empty otherwise).
std::string NoCopyText(const std::string& input, bool unreadable, PictureProblem problem) {
  if (unreadable) return input + ": cannot open the file";
  if (problem == PictureProblem::NotJpeg) return input + ": not a JPEG file that can be read";
  if (problem != PictureProblem::None) return input + ": the picture " + ProblemText(problem);
  return "";
}

// Why a photo has no shrunk picture.
std::string FailureText(const BatchResult& result, const std::string& input, int32_t percent) {
  const std::string text = NoCopyText(input, result.Unreadable, result.Problem);
  return !text.empty() ? text
                       : input + ": " + std::to_string(percent) + "% leaves a side of 0 pixels";
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

// The copies' places in the folder: each photo's copy under its own file name. Photos whose
// copy would replace an input, or the copy of an earlier photo of the same name, are named on
// standard error and left out. False when the folder is none.
bool PlaceCopies(const std::string& folder, const std::vector<std::string>& all,
                 std::vector<std::string>& inputs, std::vector<std::string>& targets) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(folder + ": not a folder"), false;
  // Copies are named in the folder with the separator the folder is written with.
  const char separator =
      folder.find('\\') == std::string::npos && folder.find('/') != std::string::npos ? '/' : '\\';
  const std::string into =
      folder.back() == '\\' || folder.back() == '/' ? folder : folder + separator;

  // Whether a target is one of the inputs (the same file under any name).
  const FileSet inputFiles(all);
  auto isInput = [&](const std::string& target) { return inputFiles.Holds(target); };
  std::vector<std::string> refused;
  for (const std::string& input : all) {
    const std::string target = into + CopyFileName(NameOf(input));
    const bool overInput = isInput(target);
    const bool taken = std::any_of(targets.begin(), targets.end(), [&](const std::string& other) {
      return lstrcmpiA(other.c_str(), target.c_str()) == 0;
    });
    if (NameOf(input).empty())
      refused.push_back(input + ": no file name");
    else if (overInput)
      refused.push_back(input + ": its copy " + target + " would replace an input (not written)");
    else if (taken)
      refused.push_back(input + ": an earlier photo of the same name goes to " + target);
    else
      inputs.push_back(input), targets.push_back(target);
  }
  for (const std::string& text : refused) Fail(text);
  return true;
}

int ShrinkSeveral(const Request& request) {
  const long percent = ParseCount(request.Args[0], 1, 100);
  if (percent < 0) return Fail(std::string("bad percentage '") + request.Args[0] + "' (1 to 100)");
  const std::vector<std::string> all(request.Args.begin() + 1, request.Args.end());
  Batch batch;
  batch.Percent = static_cast<int32_t>(percent);
  if (!PlaceCopies(request.Folder, all, batch.Inputs, batch.Targets)) return 1;

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

// ---- fit under a size ----

// Why a photo was left out of a fit (it could not be opened or decoded).
std::string LeftOutText(const FitCopy& photo, const std::string& input) {
  return NoCopyText(input, photo.Unreadable, photo.Report.Problem);
}

// Why a fit gave nothing, in the words the window uses.
std::string WhyNotFitted(const FitResult& fit, uint64_t limit, bool mail) {
  return FitFailureText(SummaryOf(fit, limit, mail, fit.Photos.size()));
}

// Reads "500KB", "1MB", "2.5 MB", "300000" (bytes) into bytes; false for anything else or 0.
bool ParseLimit(const std::string& text, uint64_t* bytes) {
  double value = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%lf%n", &value, &used) != 1 || used <= 0) return false;
  if (text[0] < '0' || text[0] > '9') return false;
  std::string unit;
  for (size_t i = static_cast<size_t>(used); i < text.size(); ++i)
    if (text[i] != ' ') unit += static_cast<char>(text[i] >= 'a' ? text[i] - 32 : text[i]);
  double factor = 0;
  if (unit.empty() || unit == "B") factor = 1;
  if (unit == "K" || unit == "KB") factor = 1024;
  if (unit == "M" || unit == "MB") factor = 1048576;
  if (factor == 0 || !(value > 0) || value * factor >= 4294967296.0) return false;
  *bytes = static_cast<uint64_t>(value * factor);
  return *bytes > 0;
}

// The total line with the scale and the limit, and what the search tried.
void PrintFitTotal(const FitResult& fit, uint64_t limit, bool mail) {
  size_t photos = 0;
  uint64_t originalBytes = 0, copyBytes = 0;
  for (const FitCopy& photo : fit.Photos)
    if (photo.Copy) ++photos, originalBytes += photo.OriginalBytes, copyBytes += photo.Report.Bytes;
  // In the window's words, and for a mail the attachments as mail counts them.
  std::string total = FormatBatchTotal(photos, originalBytes, copyBytes) +
                      FitSummaryText(SummaryOf(fit, limit, mail, 1));
  if (mail) total += " (" + LimitText(fit.Bytes) + " as attachments)";
  std::printf("%s\n", total.c_str());
  std::string search = "search: " + std::to_string(fit.Tries) +
                       (fit.Tries == 1 ? " scale in " : " scales in ") +
                       std::to_string(fit.Passes) + (fit.Passes == 1 ? " pass; " : " passes; ") +
                       std::to_string(fit.Bytes) + " of " + std::to_string(limit) + " bytes";
  if (fit.Over.Numerator > 0) {
    search += "; next larger tried " + ScaleText(fit.Over) + "% (" +
              std::to_string(fit.Over.Numerator) + "/" + std::to_string(fit.Over.Denominator) +
              "): " + std::to_string(fit.OverBytes) + " bytes, over";
  }
  search += "; scale " + std::to_string(fit.Scale.Numerator) + "/" +
            std::to_string(fit.Scale.Denominator);
  std::printf("%s\n", search.c_str());
}

// --bench for a fit: the fit again and again, and the plain shrink of the same photos at the
// scale it found (each photo read as the fit reads it, on as many workers), alternating.
void BenchFit(const std::vector<FitInput>& inputs, uint64_t limit, const FitOptions& options,
              const FitResult& found, long repeats) {
  std::vector<double> fits, plains;
  const int workers = options.Workers > 0 ? options.Workers : BatchShrinker::DefaultThreads();
  for (long r = 0; r < repeats; ++r) {
    double start = NowMs();
    FitResult again = FitCopies(inputs, limit, options);
    fits.push_back(NowMs() - start);
    FreeFitCopies(again);
    start = NowMs();
    ForEach(inputs.size(), inputs.size() > 1 ? workers : 1, [&](size_t i) {
      Stream* out = MakeMemoryStream();
      ShrinkReport report;
      const PipelineThreading threading =
          inputs.size() > 1 && workers > 1 ? PipelineThreading::OneThread : PipelineThreading::Auto;
      if (inputs[i].Data) {
        ShrinkJpegCopies(inputs[i].Data, inputs[i].Size, nullptr, &found.Scale, 1, &out, &report,
                         threading);
      } else {
        Stream* file = OpenFileForReading(inputs[i].Path.c_str());
        ShrinkJpegCopies(nullptr, 0, file, &found.Scale, 1, &out, &report, threading);
        FreeObject(file);
      }
      FreeObject(out);
    });
    plains.push_back(NowMs() - start);
  }
  const double fit = Median(fits), plain = Median(plains);
  std::printf("median of %ld runs (ms): fit %.1f plain shrink at %s%% %.1f ratio %.2f\n", repeats,
              fit, ScaleText(found.Scale).c_str(), plain, fit / plain);
  PrintPeakMemory();
}

int FitOne(const Request& request) {
  if (request.Args.size() != 2) return Usage();
  const char* in = request.Args[0];
  const char* out = request.Args[1];
  if (IsSameFile(in, out)) return Fail("OUT must not be the input file");
  DWORD attributes = GetFileAttributesA(out);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(std::string(out) + ": is a folder");
  // The photo is read whole, as the program's Open does.
  Stream* opened = ReadWholeFile(in);
  if (!opened) return Fail(std::string(in) + ": cannot open the file");
  std::vector<FitInput> inputs(1);
  inputs[0].Data = static_cast<const uint8_t*>(opened->Memory);
  inputs[0].Size = opened->Size();
  if (!inputs[0].Data) inputs[0].Data = reinterpret_cast<const uint8_t*>("");
  FitResult fit = FitCopies(inputs, request.Limit);
  const FitCopy& photo = fit.Photos[0];
  int status = 0;
  if (photo.LeftOut) {
    status = Fail(LeftOutText(photo, in));
  } else {
    std::printf("%s\n", FormatSizeText(static_cast<int32_t>(photo.Report.OriginalWidth),
                                       static_cast<int32_t>(photo.Report.OriginalHeight),
                                       photo.OriginalBytes)
                            .c_str());
    if (!fit.Fitted) {
      status = Fail(std::string(in) + ": " + WhyNotFitted(fit, request.Limit, false) +
                    "; nothing written");
    } else {
      std::printf(
          "%s\n",
          FormatSizeText(photo.Report.Width, photo.Report.Height, photo.Report.Bytes).c_str());
      PrintFitTotal(fit, request.Limit, false);
      // Written beside the target and put in its place only when complete.
      if (!SaveWholeFile(out, photo.Copy->Memory, photo.Copy->Size()))
        status = Fail(std::string(out) + ": cannot write the file");
    }
  }
  std::fflush(stdout);
  if (status == 0 && request.Repeats > 0) BenchFit(inputs, request.Limit, {}, fit, request.Repeats);
  FreeFitCopies(fit);
  FreeObject(opened);
  return status;
}

int FitMail(const Request& request) {
  std::vector<std::string> names, targets;
  const std::vector<std::string> all(request.Args.begin(), request.Args.end());
  if (!PlaceCopies(request.Folder, all, names, targets)) return 1;
  size_t failed = all.size() - names.size();
  std::vector<FitInput> inputs(names.size());
  for (size_t i = 0; i < names.size(); ++i) inputs[i].Path = names[i];
  FitOptions options;
  options.Mail = true;
  options.Workers = static_cast<int>(request.Workers);
  FitResult fit = FitCopies(inputs, request.Limit, options);
  for (size_t i = 0; i < names.size(); ++i)
    if (fit.Photos[i].LeftOut) ++failed, Fail(LeftOutText(fit.Photos[i], names[i]));
  if (!fit.Fitted) {
    if (!inputs.empty()) Fail(WhyNotFitted(fit, request.Limit, true) + "; nothing written");
    return 1;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    FitCopy& photo = fit.Photos[i];
    if (!photo.Copy) continue;
    // Written beside the target and put in its place only when complete.
    if (!SaveWholeFile(targets[i], photo.Copy->Memory, photo.Copy->Size())) {
      Fail(targets[i] + ": cannot write the file");
      ++failed;
      FreeObject(photo.Copy);
      photo.Copy = nullptr;
      continue;
    }
    std::printf(
        "%s\n%s\n",
        FormatSizeText(static_cast<int32_t>(photo.Report.OriginalWidth),
                       static_cast<int32_t>(photo.Report.OriginalHeight), photo.OriginalBytes)
            .c_str(),
        FormatSizeText(photo.Report.Width, photo.Report.Height, photo.Report.Bytes).c_str());
  }
  PrintFitTotal(fit, request.Limit, true);
  FreeFitCopies(fit);
  if (failed > 0)
    Fail(std::to_string(failed) + " of " + std::to_string(all.size()) + " photos not written");
  std::fflush(stdout);
  if (failed == 0 && request.Repeats > 0)
    BenchFit(inputs, request.Limit, options, fit, request.Repeats);
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
    } else if (std::strcmp(arg, "--fit") == 0 || std::strcmp(arg, "--mail") == 0) {
      if (request.Limit != 0) return Fail("give one of --fit and --mail, once");
      if (!value || !ParseLimit(value, &request.Limit))
        return Fail(std::string(arg) + " needs a size such as 500KB, 1MB or 25MB");
      request.Mail = arg[2] == 'm';
      ++i;
    } else if (std::strcmp(arg, "--coding") == 0) {
      // QUALITY[/CHROMA]:SAMPLING:[r]LAMBDA[:std]
      int quality = 0, chroma = 0, sampling = 0, used = -1;
      char relative = 0;
      float lambda = -1;
      if (value && std::sscanf(value, "%d/%d:%d:%n", &quality, &chroma, &sampling, &used) != 3) {
        chroma = 0, used = -1;
        if (std::sscanf(value, "%d:%d:%n", &quality, &sampling, &used) != 2) used = -1;
      }
      if (used >= 0 && value[used] == 'r') relative = 1, ++used;
      int more = -1;
      if (used >= 0 && std::sscanf(value + used, "%f%n", &lambda, &more) == 1)
        used += more;
      else
        used = -1;
      if (!value || used < 0 || quality < 1 || quality > 100 || chroma < 0 || chroma > 100 ||
          (sampling != 420 && sampling != 444) || lambda < 0 ||
          (value[used] != 0 && std::strcmp(value + used, ":std") != 0))
        return Fail("--coding needs QUALITY[/CHROMA]:420|444:[r]LAMBDA[:std]");
      CopyCoding =
          JpegCoding{quality, chroma, sampling == 444, lambda, value[used] == 0, relative != 0};
      ++i;
    } else if (std::strcmp(arg, "--into") == 0) {
      if (!value || !*value) return Fail("--into needs a folder");
      request.Folder = value;
      ++i;
    } else {
      request.Args.push_back(arg);
    }
  }
  if (request.Limit != 0) {
    if (request.Threads != 0) return Usage();
    if (!request.Mail) return request.Folder || request.Workers ? Usage() : FitOne(request);
    if (!request.Folder || request.Args.empty()) return Usage();
    return FitMail(request);
  }
  if (request.Folder) {
    if (request.Args.size() < 2) return Usage();
    return ShrinkSeveral(request);
  }
  if (request.Args.size() != 3 || request.Workers != 0) return Usage();
  if (request.Threads != 0) PipelineUsesTwoThreads = request.Threads == 2;
  return ShrinkOne(request);
}
