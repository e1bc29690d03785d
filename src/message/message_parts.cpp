#include "message/message_parts.h"

#include "common/list_error.h"

namespace mailferry {

const std::string& TMfAttachment::StoredPathName() const {
  return temp_file_ ? temp_file_.path() : stored_path_name_;
}

void TMfAttachment::SetTempFile(TempFile file) {
  temp_file_ = std::move(file);
  stored_path_name_.clear();
}

void TMfAttachment::SetStoredPathName(std::string path) {
  temp_file_.Reset();
  stored_path_name_ = std::move(path);
}

TMfMessagePart& TMfMessageParts::operator[](int i) {
  if (i < 0 || i >= Count()) throw EListError::IndexOutOfBounds(i);
  return *parts_[static_cast<std::size_t>(i)];
}

const TMfMessagePart& TMfMessageParts::operator[](int i) const {
  if (i < 0 || i >= Count()) throw EListError::IndexOutOfBounds(i);
  return *parts_[static_cast<std::size_t>(i)];
}

TMfText& TMfMessageParts::AddText() {
  auto part = std::make_unique<TMfText>();
  TMfText& added = *part;
  parts_.push_back(std::move(part));
  return added;
}

TMfAttachment& TMfMessageParts::AddAttachment() {
  auto part = std::make_unique<TMfAttachment>();
  TMfAttachment& added = *part;
  parts_.push_back(std::move(part));
  return added;
}

void TMfMessageParts::CountParts() {
  text_part_count_ = attachment_count_ = related_part_count_ = 0;
  for (const auto& part : parts_) {
    if (part->Kind() == TMfPartKind::kText) {
      ++text_part_count_;
    } else {
      ++attachment_count_;
      if (!part->ExtraHeaders().GetValue("Content-ID").empty()) ++related_part_count_;
    }
  }
}

}  // namespace mailferry
