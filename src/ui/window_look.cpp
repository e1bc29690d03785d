#include "ui/window_look.h"

#include <QKeyEvent>
#include <QLabel>
#include <QWidget>

namespace mailferry {

TClassicDialog::TClassicDialog(bool with_close_box, QWidget* parent)
    : QDialog(parent, with_close_box ? Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                                     : Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
}

void TClassicDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

QFont ClassicFont() {
  QFont font;
  // Faces as narrow as the one the pixel layouts were drawn for come first; a wider fallback can
  // cut long captions short.
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("Sans Serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

void SetUpFixedWindow(QWidget* window, int width, int height) {
  window->setFont(ClassicFont());
  window->setFixedSize(width, height);
}

QIcon ProgramIcon(const QString& name) {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/icons/%1_%2.png").arg(name).arg(size), QSize(size, size));
  }
  return icon;
}

QLabel* PlaceLabel(const QString& text, int left, int top, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace mailferry
