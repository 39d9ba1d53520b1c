// velmora-header FILE: reads a JPEG's header through a read stream and the row reader
// and prints its width, height and byte size; anything else gives a one-line error.
#include <cstdio>

#include "imaging/jpeg_rows.h"
#include "toolkit/stream.h"

using namespace velmora;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velmora-header FILE.jpg\n");
    return 2;
  }
  const char* name = argv[1];
  Stream* file = OpenFileForReading(name);
  if (file->Handle() == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "velmora-header: %s: cannot open the file\n", name);
    FreeObject(file);
    return 1;
  }
  uint32_t size = file->Size();
  uint32_t width = 0, height = 0;
  {
    JpegRowReader reader;
    if (reader.Open(file)) {
      width = reader.Width;
      height = reader.Height;
    }
  }
  FreeObject(file);
  if (width == 0 || height == 0) {
    std::fprintf(stderr, "velmora-header: %s: not a JPEG file\n", name);
    return 1;
  }
  std::printf("width %u height %u bytes %u\n", width, height, size);
  return 0;
}
