// The user's words about photos, formatted with the C library so that the console tool shares
// them without the window system.
#include "app/wording.h"

#include <windows.h>

#include <cstdio>

namespace velmora {

const char* const UnreadableReason = "cannot be read";

namespace {

// Where a text may be cut at or before `at` without splitting a character of the code page.
size_t CharacterBoundary(const std::string& text, size_t at) {
  if (at >= text.size()) return text.size();
  if (GetACP() == CP_UTF8) {
    while (at > 0 && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80) --at;
    return at;
  }
  size_t boundary = 0;
  for (size_t i = 0; i <= at;) {
    boundary = i;
    i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return boundary;
}

}  // namespace

std::string FormatSizeText(int32_t width, int32_t height, uint32_t byteCount) {
  const uint32_t kilobytes = byteCount >> 10;
  const uint32_t hundredths = ((byteCount & 1023u) * 100u) >> 10;
  char text[64];
  std::snprintf(text, sizeof text, "Size: %dx%d , %u.%u Kb", static_cast<int>(width),
                static_cast<int>(height), static_cast<unsigned>(kilobytes),
                static_cast<unsigned>(hundredths));
  return text;
}

std::string ProblemText(PictureProblem problem) {
  switch (problem) {
    case PictureProblem::None:
      return "";
    case PictureProblem::NotJpeg:
      return "is not a JPEG picture";
    case PictureProblem::Unsupported:
      return "is a kind of JPEG picture that cannot be decoded (such as 12-bit samples)";
    case PictureProblem::TooLarge:
      return "is too large to be decoded in this computer's memory";
    case PictureProblem::Damaged:
      return "is damaged and cannot be decoded";
    case PictureProblem::NotInstalled:
      return "is a HEIC photo, and HEIC support is not installed (the file velmora-heif.dll is "
             "missing beside Velmora)";
    case PictureProblem::HeifUnsupported:
      return "is a kind of HEIF picture that cannot be decoded (such as AVIF)";
  }
  return "";
}

std::string CopyFileName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return name;
  std::string extension = name.substr(dot);
  CharLowerBuffA(extension.data(), static_cast<DWORD>(extension.size()));
  const bool heif = extension == ".heic" || extension == ".heif" || extension == ".hif";
  return heif ? name.substr(0, dot) + ".jpg" : name;
}

std::string FileSentence(const std::string& path, const std::string& reason) {
  return "The file \"" + path + "\" " + reason + ".";
}

std::string ListMessage(const std::string& heading, const std::vector<std::string>& sentences,
                        size_t most) {
  std::string text = heading;
  for (size_t i = 0; i < sentences.size() && i < most; ++i)
    text += (text.empty() ? "" : "\n") + sentences[i];
  if (sentences.size() > most)
    text += "\n... and " + std::to_string(sentences.size() - most) + " more.";
  return text;
}

std::string MegabyteText(uint64_t bytes) {
  if (bytes < (1u << 20)) return std::to_string((bytes + 512) >> 10) + " Kb";
  const uint64_t tenths = (bytes * 10 + (1u << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::string FormatBatchTotal(size_t photos, uint64_t originalBytes, uint64_t shrunkBytes) {
  return std::to_string(photos) + (photos == 1 ? " photo: " : " photos: ") +
         MegabyteText(originalBytes) + " to " + MegabyteText(shrunkBytes);
}

uint64_t MailAttachmentBytes(uint64_t n) { return (n + 2) / 3 * 4; }

std::string TotalText(size_t done, size_t count, uint64_t originalBytes, uint64_t shrunkBytes,
                      uint64_t attachmentBytes) {
  std::string text = FormatBatchTotal(count, originalBytes, shrunkBytes);
  if (done != count) text = std::to_string(done) + " of " + text;
  if (attachmentBytes > MailSizeLimit)
    text += ", too large to mail (" + MegabyteText(attachmentBytes) + " attached)";
  return text;
}

std::string MailSubject(const std::vector<std::string>& names) {
  std::string subject;
  for (const std::string& name : names) subject += (subject.empty() ? "" : ", ") + name;
  if (subject.size() <= MailSubjectMost) return subject;
  return subject.substr(0, CharacterBoundary(subject, MailSubjectMost - 3)) + "...";
}

}  // namespace velmora
