// Reading a file whole, and saving one whole or not at all: the bytes go into a new file beside
// the target, reach the disk (flushed), and only then replace the target in one move. Relies on
// kernel32, toolkit/stream.h and toolkit/object.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velmora {

class Stream;

// Writes target through write, which receives a write stream on a new file in the target's
// folder and answers whether it wrote everything. True only when target now holds exactly
// that. On false, GetLastError tells why (ERROR_ACCESS_DENIED for a read-only target or a
// folder), an existing target is as it was, and no new file is left behind; the same holds
// when write throws.
bool SaveWholeFile(const std::string& target, const std::function<bool(Stream* file)>& write);

// The same for count bytes.
bool SaveWholeFile(const std::string& target, const void* bytes, uint32_t count);

// The whole file in a new memory stream positioned at 0 (the caller's, free it with FreeObject);
// null when the file cannot be opened or read to its end.
Stream* ReadWholeFile(const std::string& path);

// The prefix of the new file's name while it is being written ("~velmora-").
extern const char* const SavingFilePrefix;

}  // namespace velmora
