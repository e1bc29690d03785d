#include "ui/data_link.h"

namespace mailferry {

TFieldDataLink::TFieldDataLink(TMemTable& table, std::string field_name)
    : table_(table), field_name_(std::move(field_name)) {
  listener_id_ = table_.AddDataListener([this](DataEvent event) { OnDataEvent(event); });
}

TFieldDataLink::~TFieldDataLink() { table_.RemoveDataListener(listener_id_); }

void TFieldDataLink::SetHandlers(std::function<void()> data_change,
                                 std::function<void()> update_data) {
  data_change_ = std::move(data_change);
  update_data_ = std::move(update_data);
  ShowField();
}

TField* TFieldDataLink::Field() const { return table_.FindField(field_name_); }

bool TFieldDataLink::CanModify() const { return table_.Active() && Field() != nullptr; }

bool TFieldDataLink::Editing() const {
  return table_.State() == TableState::kEdit || table_.State() == TableState::kInsert;
}

void TFieldDataLink::Modified() {
  // Pending before the table changes state, so that the state change does not overwrite the
  // control's new content.
  modified_ = true;
  try {
    if (!Editing()) table_.Edit();
  } catch (...) {
    modified_ = false;
    ShowField();
    throw;
  }
}

void TFieldDataLink::UpdateRecord() {
  if (!modified_) return;
  if (!Editing() || Field() == nullptr) {
    modified_ = false;
    return;
  }
  if (update_data_) update_data_();
  modified_ = false;
  // The field may hold the value differently from how it was typed ("+5", a cut text).
  ShowField();
}

void TFieldDataLink::Reset() {
  modified_ = false;
  ShowField();
}

void TFieldDataLink::ShowField() {
  if (data_change_) data_change_();
}

void TFieldDataLink::OnDataEvent(DataEvent event) {
  switch (event) {
    case DataEvent::kDataSetChanged:
    case DataEvent::kScrolled:
      Reset();
      break;
    case DataEvent::kStateChanged:
    case DataEvent::kFieldChanged:
      if (!modified_) ShowField();
      break;
    case DataEvent::kUpdateRecord:
      UpdateRecord();
      break;
  }
}

}  // namespace mailferry
