// A line edit that never gives a password away: cut and copy do nothing while
// it shows a password; otherwise cut copies the text and clears the edit.
#pragma once

#include <QLineEdit>

class MQLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  // An empty edit with `parent` as its parent widget.
  explicit MQLineEdit(QWidget* parent = nullptr);

 public slots:
  // Copies the whole text to the clipboard and clears the edit; nothing in password mode.
  void cut();
  // Copies the selection (the whole text when nothing is selected); nothing in password mode.
  void copy() const;

 protected:
  // Routes the cut and copy shortcuts to the slots above.
  void keyPressEvent(QKeyEvent* event) override;
};
