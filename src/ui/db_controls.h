// The data-bound controls of the dialogs: text box, check box, radio group, drop-down lists,
// lookup list box and minutes box, each tied to a field of a settings table by a TFieldDataLink.
#pragma once

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QValidator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/mem_table.h"
#include "ui/data_link.h"
#include "ui/modal_ui.h"

class QButtonGroup;
class QRadioButton;

namespace mailferry {

// What every bound control offers its dialog.
class TDBControl {
 public:
  virtual ~TDBControl() = default;
  virtual TFieldDataLink& Link() = 0;
};

// Writes the pending change of the bound control that has the focus inside window, as leaving
// it would. A refusal is shown, the control keeps the focus, and the answer is false.
bool CommitFocusedControl(QWidget* window, ModalUi& ui);

// A value-list item: the caption shown and the field value it stands for.
struct TValueItem {
  QString caption;
  QString value;
};

// Accepts what a text box bound to the field may hold: at most n characters for a String(n)
// field, only "+", "-" and digits for an integer field.
class TFieldTextValidator : public QValidator {
  Q_OBJECT

 public:
  TFieldTextValidator(const TFieldDataLink& link, QObject* parent);
  State validate(QString& input, int& pos) const override;

 private:
  const TFieldDataLink& link_;
};

// A text box. It shows the field as text; leaving it writes the text (a refused value is shown
// and the box keeps the focus); Escape drops a pending change.
class TDBEdit : public QLineEdit, public TDBControl {
  Q_OBJECT

 public:
  TDBEdit(TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent);
  TFieldDataLink& Link() override { return link_; }

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void DataChange();
  void UpdateData();
  void UserEdited();

  TFieldDataLink link_;
  ModalUi& ui_;
};

// A check box, checked exactly when the field is true. A click (or Space) edits the row and writes
// the new state at once; a click leaves the focus where it was.
class TDBCheckBox : public QCheckBox, public TDBControl {
  Q_OBJECT

 public:
  TDBCheckBox(const QString& caption, TMemTable& table, std::string field_name, ModalUi& ui,
              QWidget* parent);
  TFieldDataLink& Link() override { return link_; }

 private:
  void DataChange();
  void UpdateData();

  TFieldDataLink link_;
  ModalUi& ui_;
};

// A radio group whose items stand for field values; a value no item has checks none. Choosing an
// item edits the row and writes its value at once.
class TDBRadioGroup : public QGroupBox, public TDBControl {
  Q_OBJECT

 public:
  TDBRadioGroup(const QString& caption, std::vector<TValueItem> items, TMemTable& table,
                std::string field_name, ModalUi& ui, QWidget* parent);
  TFieldDataLink& Link() override { return link_; }
  QRadioButton* Button(int index) const;
  // The checked item, -1 for none.
  int ItemIndex() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void DataChange();
  void UpdateData();
  void CheckItem(int index);

  std::vector<TValueItem> items_;
  std::vector<QRadioButton*> buttons_;
  QButtonGroup* group_;
  TFieldDataLink link_;
  ModalUi& ui_;
};

// A drop-down list without typing whose items stand for field values; a value no item has shows
// no item. Choosing an item edits the row and writes its value at once.
class TDBComboBox : public QComboBox, public TDBControl {
  Q_OBJECT

 public:
  TDBComboBox(std::vector<TValueItem> items, TMemTable& table, std::string field_name, ModalUi& ui,
              QWidget* parent);
  TFieldDataLink& Link() override { return link_; }

 private:
  void DataChange();
  void UpdateData();

  std::vector<TValueItem> items_;
  TFieldDataLink link_;
  ModalUi& ui_;
};

// An editable text with a drop-down list: the text is the field's, the list only offers names.
// Typed text is written when the box loses the focus; a name chosen from the list at once.
class TDBComboEdit : public QComboBox, public TDBControl {
  Q_OBJECT

 public:
  TDBComboEdit(TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent);
  TFieldDataLink& Link() override { return link_; }

  // Replaces the offered names; the text stays.
  void SetNames(const std::vector<std::string>& names);

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void DataChange();
  void UpdateData();
  void UserChanged();

  TFieldDataLink link_;
  ModalUi& ui_;
};

// A list with one line per visible row of a table, in row order, showing one field; choosing a
// line makes its row the current row.
class TDBLookupListBox : public QListWidget {
  Q_OBJECT

 public:
  TDBLookupListBox(TMemTable& table, std::string field_name, ModalUi& ui, QWidget* parent);
  ~TDBLookupListBox() override;

 private:
  void OnDataEvent(DataEvent event);
  void Rebuild();
  void ShowCurrentRow();
  void UserChoseRow(int row);

  TMemTable& table_;
  std::string field_name_;
  ModalUi& ui_;
  int listener_id_;
  bool updating_ = false;
};

// A whole number from min to max, or empty. Arrows and the up and down keys step by 1 and stop at
// the bounds; a typed number outside the range becomes the nearest bound at once; text that is
// no number gives way to the previous text.
class TDBSpinEdit : public QAbstractSpinBox, public TDBControl {
  Q_OBJECT

 public:
  TDBSpinEdit(int min, int max, TMemTable& table, std::string field_name, ModalUi& ui,
              QWidget* parent);
  TFieldDataLink& Link() override { return link_; }

  std::optional<int> Value() const { return value_; }
  // Shows a value, as the program (not the user) sets it: no ValueEdited.
  void SetValue(std::optional<int> value);

  void stepBy(int steps) override;

 signals:
  // The user changed the value (typing, arrows, keys); the field's link is already pending.
  void ValueEdited();

 protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void TextEdited(const QString& text);
  void UserSetValue(std::optional<int> value);
  void DataChange();
  void UpdateData();

  int min_;
  int max_;
  std::optional<int> value_;
  TFieldDataLink link_;
  ModalUi& ui_;
};

}  // namespace mailferry
