// The data source dialog `Setup` ("DSN Properties"): every field of a data
// source with its label and tool tip, and the OK, Cancel, Help and Test buttons.
// It serves the installer (add, configure), the driver's prompt and the
// driver's connection-error form.
#pragma once

#include <QDialog>
#include <string>

#include "setup/dsn_form.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class MQLineEdit;

// What the dialog is for.
enum class SetupMode {
  Installer,  // OK writes the data source to the ini store
  Prompt,     // OK copies the form into the driver's prompt record
  Error,      // the driver's connection error is shown above the form
};

class Setup : public QDialog {
  Q_OBJECT

 public:
  // A dialog in `mode` showing `form`; `driver` is the driver description for the installer,
  // `old_dsn` the name the data source had (removed on OK when renamed), `record` the prompt
  // record of the Prompt mode (null otherwise).
  Setup(SetupMode mode, const DsnForm& form, const char* driver, const std::string& old_dsn,
        PromptRecord* record, QWidget* parent = nullptr);
  // The form's current values.
  DsnForm form() const;
  // Shows `text` above the fields (the error form).
  void set_message(const QString& text);

 public slots:
  // Saves (installer) or hands back (prompt) the form, then accepts; stays open on failure.
  void Ok();
  // Closes without saving.
  void Cancel();
  // Opens the driver's help at topic 1001; without a help file, says where the documentation is.
  void about();
  // Tests the form's settings through the driver_test of the driver registered with this setup
  // library; says what is missing when there is no such driver.
  void Dsn_test();

 private:
  // Adds a labelled field on the next row of the grid.
  QLineEdit* add_field(QLineEdit* edit, const char* name, const char* label, const char* tip,
                       const QString& value);

  SetupMode mode_;        // what OK does
  std::string driver_;    // driver description for SQLWriteDSNToIni (and the section hint)
  std::string old_dsn_;   // the name being configured ("" when adding)
  PromptRecord* record_;  // the driver's prompt record (Prompt mode)
  QGridLayout* grid_;     // labels in column 0, fields in column 1
  QLabel* message_;       // the error text of the error form
  MQLineEdit* dsn_;
  MQLineEdit* description_;
  QLineEdit* uri_;
  QLineEdit* api_key_;       // masked like the password unless show_api_key_ is checked
  QCheckBox* show_api_key_;  // reveals the Api Key
  QLineEdit* proxy_;
  QLineEdit* proxy_user_;
  QLineEdit* proxy_pass_;
  QCheckBox* logging_;
  QLineEdit* log_file_;
  int row_ = 1;  // next free row of the grid (row 0 holds the message)
};
