// MQLineEdit: the setup dialog's line edit with its clipboard rule.
#include "setup/mq_line_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

// The context menu's Cut and Copy are QLineEdit's own, which already refuse password text.
MQLineEdit::MQLineEdit(QWidget* parent) : QLineEdit(parent) {}

void MQLineEdit::cut() {
  if (echoMode() != QLineEdit::Normal) return;
  QApplication::clipboard()->setText(text());
  clear();
}

void MQLineEdit::copy() const {
  if (echoMode() != QLineEdit::Normal) return;
  QApplication::clipboard()->setText(hasSelectedText() ? selectedText() : text());
}

void MQLineEdit::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Cut) {
    cut();
    event->accept();
    return;
  }
  if (event == QKeySequence::Copy) {
    copy();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}
