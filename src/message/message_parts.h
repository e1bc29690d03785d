// The parts of a message read from a MIME or uuencoded body: text parts holding their decoded
// lines, attachments owning the temp file with their decoded content, and the ordered
// collection of both.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/header_list.h"
#include "platform/temp_files.h"

namespace mailferry {

enum class TMfPartKind { kText, kAttachment };

// A part's own header lines (only Content-Type, Content-Transfer-Encoding and, for attachments,
// Content-Disposition are kept from the received part header) and lines to append when it is
// written.
class TMfMessagePart {
 public:
  virtual ~TMfMessagePart() = default;
  TMfMessagePart(const TMfMessagePart&) = delete;
  TMfMessagePart& operator=(const TMfMessagePart&) = delete;

  TMfPartKind Kind() const { return kind_; }

  TMfHeaderList& Headers() { return headers_; }
  const TMfHeaderList& Headers() const { return headers_; }
  TMfHeaderList& ExtraHeaders() { return extra_headers_; }
  const TMfHeaderList& ExtraHeaders() const { return extra_headers_; }

  // The values of "Content-Type" and "Content-Transfer-Encoding" in Headers: read unfolded and
  // trimmed, set folded; an empty value removes the header.
  std::string ContentType() const { return headers_.GetValue("Content-Type"); }
  void SetContentType(std::string_view value) { headers_.SetValue("Content-Type", value); }
  std::string ContentTransfer() const { return headers_.GetValue("Content-Transfer-Encoding"); }
  void SetContentTransfer(std::string_view value) {
    headers_.SetValue("Content-Transfer-Encoding", value);
  }

 protected:
  explicit TMfMessagePart(TMfPartKind kind) : kind_(kind) {}

 private:
  TMfPartKind kind_;
  TMfHeaderList headers_;
  TMfHeaderList extra_headers_;
};

// A text part: its decoded text cut into lines (no line holds CR, LF or NUL).
class TMfText : public TMfMessagePart {
 public:
  TMfText() : TMfMessagePart(TMfPartKind::kText) {}

  std::vector<std::string>& Body() { return body_; }
  const std::vector<std::string>& Body() const { return body_; }

  // True for a nested multipart container whose body is only the preamble before its first
  // nested part (the nested parts follow it in the collection). Such a part describes structure,
  // not text, and the writer does not write it.
  bool IsMultipartContainer() const { return multipart_container_; }
  void SetMultipartContainer(bool container) { multipart_container_ = container; }

 private:
  std::vector<std::string> body_;
  bool multipart_container_ = false;
};

// An attachment: its file name from the part header and the file holding its decoded content.
class TMfAttachment : public TMfMessagePart {
 public:
  TMfAttachment() : TMfMessagePart(TMfPartKind::kAttachment) {}

  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }

  // The value of "Content-Disposition" in Headers.
  std::string ContentDisposition() const { return Headers().GetValue("Content-Disposition"); }
  void SetContentDisposition(std::string_view value) {
    Headers().SetValue("Content-Disposition", value);
  }

  // The file that holds the content.
  const std::string& StoredPathName() const;
  // True when the attachment owns its file, which is then deleted with the attachment.
  bool FileIsTempFile() const { return static_cast<bool>(temp_file_); }

  // Takes ownership of a closed temp file as the content.
  void SetTempFile(TempFile file);
  // Uses a file the attachment does not own; an owned temp file is deleted now.
  void SetStoredPathName(std::string path);

 private:
  std::string file_name_;
  std::string stored_path_name_;
  TempFile temp_file_;
};

// The ordered parts of a message, owned by it.
class TMfMessageParts {
 public:
  int Count() const { return static_cast<int>(parts_.size()); }
  bool Empty() const { return parts_.empty(); }
  // Part i (0-based); EListError "List index out of bounds (i)" for a bad index.
  TMfMessagePart& operator[](int i);
  const TMfMessagePart& operator[](int i) const;

  // Appends a new empty part and returns it.
  TMfText& AddText();
  TMfAttachment& AddAttachment();

  // Frees every part (and so deletes the attachments' temp files).
  void Clear() { parts_.clear(); }

  // Recounts the three counts below from the current parts.
  void CountParts();
  // As of the last CountParts: TMfText items, TMfAttachment items, and attachments whose
  // ExtraHeaders hold a non-empty Content-ID.
  int TextPartCount() const { return text_part_count_; }
  int AttachmentCount() const { return attachment_count_; }
  int RelatedPartCount() const { return related_part_count_; }

 private:
  std::vector<std::unique_ptr<TMfMessagePart>> parts_;
  int text_part_count_ = 0;
  int attachment_count_ = 0;
  int related_part_count_ = 0;
};

}  // namespace mailferry
