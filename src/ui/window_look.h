// What the program's windows share: the dialog frame and keys, the small classic font their pixel
// layouts are drawn for, fixed sizes, the pictures compiled in as resources, and placed labels.
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>

class QLabel;
class QWidget;

namespace mailferry {

// A dialog of the program: none of them has a default or a cancel button, so neither Enter nor
// Escape closes it; closing it any other way rejects it.
class TClassicDialog : public QDialog {
  Q_OBJECT

 public:
  // with_close_box: a title-bar close button; without it the title bar has no buttons.
  TClassicDialog(bool with_close_box, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A narrow sans-serif font of 11 pixels (8 points at 96 dots per inch), the size and width the
// layouts are for (Liberation Sans where installed).
QFont ClassicFont();

// Gives a top-level window the classic font and a fixed client area of width x height.
void SetUpFixedWindow(QWidget* window, int width, int height);

// A picture of the program by its resource name ("scan", "accounts", "schedule", "close",
// "mailferry").
QIcon ProgramIcon(const QString& name);

// A label whose top-left corner is at (left, top), sized to its text.
QLabel* PlaceLabel(const QString& text, int left, int top, QWidget* parent);

}  // namespace mailferry
