// The user's words about photos, formatted with the C library so that the console tool shares
// them without the window system.
#include "app/wording.h"

#include <windows.h>

#include <cstdio>

#include "mail/mapi_mail.h"

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
  // kernel32's comparison: the console tool shares this and loads no part of the window system.
  const char* extension = name.c_str() + dot;
  const bool heif = lstrcmpiA(extension, ".heic") == 0 || lstrcmpiA(extension, ".heif") == 0 ||
                    lstrcmpiA(extension, ".hif") == 0;
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

const SizeChoice SizeChoices[5] = {
    {"500 KB", 500ull << 10, false}, {"1 MB", 1ull << 20, false},     {"2 MB", 2ull << 20, false},
    {"Mail 10M", 10ull << 20, true}, {"Mail 25M", 25ull << 20, true},
};

namespace {

// "41" or "41.3" for 413 tenths.
std::string TenthsText(uint64_t tenths) {
  char text[32];
  const auto whole = static_cast<unsigned long long>(tenths / 10);
  const auto tenth = static_cast<unsigned>(tenths % 10);
  if (tenth)
    std::snprintf(text, sizeof text, "%llu.%u", whole, tenth);
  else
    std::snprintf(text, sizeof text, "%llu", whole);
  return text;
}

}  // namespace

std::string LimitText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  const bool mega = bytes >= (1ull << 20);
  const uint64_t unit = mega ? (1ull << 20) : 1024;
  return TenthsText((bytes * 10 + unit / 2) / unit) + (mega ? " MB" : " KB");
}

std::string ScaleText(const ShrinkScale& scale) {
  if (scale.Denominator <= 0) return "0";
  return TenthsText(static_cast<uint64_t>(scale.Numerator) * 1000 /
                    static_cast<uint64_t>(scale.Denominator));
}

std::string FitSummaryText(const FitSummary& fit) {
  if (fit.Mail)
    return fit.Fitted
               ? " at " + ScaleText(fit.Scale) + "%, fits one " + LimitText(fit.Limit) + " mail"
               : "";
  if (fit.Photos > 1) return ", each within " + LimitText(fit.Limit);
  return fit.Fitted ? " at " + ScaleText(fit.Scale) + "%, within " + LimitText(fit.Limit) : "";
}

std::string FitFailureText(const FitSummary& fit) {
  switch (fit.Failure) {
    case FitFailure::None:
      return "";
    case FitFailure::NothingReadable:
      return "could not be read";
    case FitFailure::Cancelled:
      return "was not fitted (the fit was stopped)";
    case FitFailure::TooLarge:
      break;
  }
  std::string text = "does not fit in " + std::string(fit.Mail ? "one " : "") +
                     LimitText(fit.Limit) + (fit.Mail ? " mail" : "") +
                     " even at the smallest size";
  if (fit.Smallest.Numerator > 0)
    text += " (" + ScaleText(fit.Smallest) + "%, " + LimitText(fit.SmallestBytes) + ")";
  return text;
}

std::string MailResultText(uint32_t result) {
  if (result == SUCCESS_SUCCESS || result == MailUserAbort) return {};
  // The Simple MAPI result codes a send can give, from 2 on, in words.
  static const char* const kReasons[][2] = {
      {"MAPI_E_FAILURE", "it reported a failure without saying more"},
      {"MAPI_E_LOGIN_FAILURE", "logging on to the mail account failed"},
      {"MAPI_E_DISK_FULL", "the disk is full"},
      {"MAPI_E_INSUFFICIENT_MEMORY", "there was not enough memory"},
      {"MAPI_E_ACCESS_DENIED", "access was denied"},
      {"", ""},  // 7 is no Simple MAPI code
      {"MAPI_E_TOO_MANY_SESSIONS", "too many mail sessions are open"},
      {"MAPI_E_TOO_MANY_FILES", "the message has too many attachments"},
      {"MAPI_E_TOO_MANY_RECIPIENTS", "the message has too many recipients"},
      {"MAPI_E_ATTACHMENT_NOT_FOUND", "an attachment could not be found"},
      {"MAPI_E_ATTACHMENT_OPEN_FAILURE", "an attachment could not be opened"},
      {"MAPI_E_ATTACHMENT_WRITE_FAILURE", "an attachment could not be written"},
      {"MAPI_E_UNKNOWN_RECIPIENT", "a recipient is unknown"},
      {"MAPI_E_BAD_RECIPTYPE", "a recipient is of a wrong kind"},
      {"MAPI_E_NO_MESSAGES", "there are no messages"},
      {"MAPI_E_INVALID_MESSAGE", "the message is not valid"},
      {"MAPI_E_TEXT_TOO_LARGE", "the message text is too large"},
      {"MAPI_E_INVALID_SESSION", "the mail session is not valid"},
      {"MAPI_E_TYPE_NOT_SUPPORTED", "the message type is not supported"},
      {"MAPI_E_AMBIGUOUS_RECIPIENT", "a recipient's name fits more than one address"},
      {"MAPI_E_MESSAGE_IN_USE", "the message is in use"},
      {"MAPI_E_NETWORK_FAILURE", "the network failed"},
      {"MAPI_E_INVALID_EDITFIELDS", "the fields to edit are not valid"},
      {"MAPI_E_INVALID_RECIPS", "the recipients are not valid"},
      {"MAPI_E_NOT_SUPPORTED", "it does not support what was asked"},
      {"MAPI_E_UNICODE_NOT_SUPPORTED", "it does not support Unicode texts"},
      {"MAPI_E_ATTACHMENT_TOO_LARGE", "an attachment is too large"},
  };
  const size_t count = sizeof kReasons / sizeof kReasons[0];
  const size_t at = result - 2;
  const bool known = result >= 2 && at < count && kReasons[at][0][0] != '\0';
  return "The mail program could not take the message: " +
         std::string(known ? kReasons[at][1] : "it answered with an unknown error") +
         " (Simple MAPI error " + std::to_string(result) +
         (known ? std::string(", ") + kReasons[at][0] : std::string()) + ").";
}

}  // namespace velmora
