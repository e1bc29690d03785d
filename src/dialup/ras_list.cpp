#include "dialup/ras_list.h"

#include "common/list_error.h"

namespace mailferry {

bool TRasList::Add(const std::string& name, double status_time) {
  if (IndexOf(name) >= 0) return false;
  TRasEntry entry;
  entry.Name = name;
  entry.StatusTime = status_time;
  entries_.push_back(std::move(entry));
  return true;
}

TRasEntry& TRasList::Items(int index) {
  if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
  return entries_[static_cast<std::size_t>(index)];
}

const TRasEntry& TRasList::Items(int index) const {
  return const_cast<TRasList*>(this)->Items(index);
}

int TRasList::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].Name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace mailferry
