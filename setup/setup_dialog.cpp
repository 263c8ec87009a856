// The Setup dialog: its fields, labels, tool tips and buttons, and what OK,
// Cancel, Help and Test do.
#include "setup/setup_dialog.h"

#include <odbcinst.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "setup/driver_call.h"
#include "setup/mq_line_edit.h"

namespace {

constexpr const char* kWindowTitle = "Quillmoor Ethereum ODBC Driver DSN Setup";
constexpr const char* kTestTitle = "Ethereum ODBC Driver Test";
constexpr const char* kHelpTitle = "Quillmoor Ethereum ODBC Driver Help";

QString from(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string to(const QString& text) {
  return text.toUtf8().toStdString();
}

QPushButton* add_button(QHBoxLayout* row, const char* name, const char* text, const char* tip) {
  auto* button = new QPushButton(QString::fromUtf8(text));
  button->setObjectName(QString::fromUtf8(name));
  button->setToolTip(QString::fromUtf8(tip));
  row->addWidget(button);
  return button;
}

// A message box over `parent` whose text can be selected and copied (an error to pass on).
void show_message(QWidget* parent, QMessageBox::Icon icon, const char* title, const QString& text) {
  QMessageBox box(icon, QString::fromUtf8(title), text, QMessageBox::Ok, parent);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

}  // namespace

Setup::Setup(SetupMode mode, const DsnForm& form, const char* driver, const std::string& old_dsn,
             PromptRecord* record, QWidget* parent)
    : QDialog(parent),
      mode_(mode),
      driver_(driver ? driver : kDriverName),
      old_dsn_(old_dsn),
      record_(record) {
  setObjectName("DSN Properties");
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setModal(true);
  grid_ = new QGridLayout;
  message_ = new QLabel;
  message_->setObjectName("message");
  message_->setWordWrap(true);
  message_->setVisible(false);
  grid_->addWidget(message_, 0, 0, 1, 2);

  dsn_ = new MQLineEdit;
  description_ = new MQLineEdit;
  add_field(dsn_, "dsn", "&DSN:", "Data source name", from(form.dsn));
  add_field(description_, "description", "D&escription:", "Data source description",
            from(form.description));
  uri_ = add_field(new QLineEdit, "uri", "&URI:", "URI", from(form.uri));
  api_key_ = add_field(new MQLineEdit, "api_key", "&Api Key:", "Api Key", from(form.api_key));
  // The key is a secret like the proxy password: masked, with a box that shows it on request.
  api_key_->setEchoMode(QLineEdit::Password);
  show_api_key_ = new QCheckBox("Sho&w");
  show_api_key_->setObjectName("show_api_key");
  show_api_key_->setToolTip("Show the Api Key");
  grid_->addWidget(show_api_key_, row_ - 1, 2);
  connect(show_api_key_, &QCheckBox::toggled, this, [this](bool shown) {
    api_key_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  proxy_ = add_field(new QLineEdit, "proxy", "Proxy:", "Address of proxy server", from(form.proxy));
  proxy_user_ = add_field(new QLineEdit, "proxy_user",
                          "Proxy User:", "User Name for proxy server auth", from(form.proxy_user));
  proxy_pass_ =
      add_field(new MQLineEdit, "proxy_pass",
                "Proxy Password:", "User Password for proxy server auth", from(form.proxy_pass));
  proxy_pass_->setEchoMode(QLineEdit::Password);

  logging_ = new QCheckBox("enable");
  logging_->setObjectName("logging");
  logging_->setToolTip("Driver Logging");
  logging_->setChecked(form.logging);
  auto* logging_label = new QLabel("Driver Logging:");
  logging_label->setBuddy(logging_);
  grid_->addWidget(logging_label, row_, 0);
  grid_->addWidget(logging_, row_++, 1);
  log_file_ = add_field(new QLineEdit, "log_file", "Log File:", "Log File", from(form.log_file));

  auto* buttons = new QHBoxLayout;
  QPushButton* ok = add_button(buttons, "ok", "OK", "Save changes and finish");
  QPushButton* cancel = add_button(buttons, "cancel", "&Cancel", "Exit without saving changes");
  QPushButton* help = add_button(buttons, "help", "&Help", "");
  QPushButton* test = add_button(buttons, "test", "&Test", "Test connection");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &Setup::Ok);
  connect(cancel, &QPushButton::clicked, this, &Setup::Cancel);
  connect(help, &QPushButton::clicked, this, &Setup::about);
  connect(test, &QPushButton::clicked, this, &Setup::Dsn_test);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid_);
  layout->addLayout(buttons);
  if (mode_ == SetupMode::Error) set_message("The connection failed; check the settings.");
}

QLineEdit* Setup::add_field(QLineEdit* edit, const char* name, const char* label, const char* tip,
                            const QString& value) {
  edit->setObjectName(QString::fromUtf8(name));
  edit->setToolTip(QString::fromUtf8(tip));
  edit->setText(value);
  auto* caption = new QLabel(QString::fromUtf8(label));
  caption->setBuddy(edit);
  grid_->addWidget(caption, row_, 0);
  grid_->addWidget(edit, row_++, 1);
  return edit;
}

DsnForm Setup::form() const {
  DsnForm form;
  form.dsn = to(dsn_->text().trimmed());
  form.description = to(description_->text());
  form.uri = to(uri_->text().trimmed());
  form.api_key = to(api_key_->text());
  form.proxy = to(proxy_->text().trimmed());
  form.proxy_user = to(proxy_user_->text());
  form.proxy_pass = to(proxy_pass_->text());
  form.logging = logging_->isChecked();
  form.log_file = to(log_file_->text());
  return form;
}

void Setup::set_message(const QString& text) {
  message_->setText(text);
  message_->setVisible(!text.isEmpty());
}

void Setup::Ok() {
  DsnForm values = form();
  if (mode_ == SetupMode::Installer) {
    if (values.dsn.empty()) {
      set_message("A data source name is required.");
      return;
    }
    if (!form_to_ini(values, old_dsn_ == values.dsn ? "" : old_dsn_, driver_.c_str())) {
      set_message("The data source could not be saved.");
      return;
    }
  } else if (record_) {
    form_to_prompt(values, record_);
  }
  accept();
}

void Setup::Cancel() {
  reject();
}

void Setup::about() {
  std::string directory = help_directory(driver_section(driver_));
  if (!directory.empty()) {
    QUrl page = QUrl::fromLocalFile(from(directory + "/quilldrv.html"));
    page.setFragment("1001");
    if (QDesktopServices::openUrl(page)) return;
  }
  // No help file to open: say where the documentation is instead of doing nothing.
  std::string readme = documentation_path();
  QString where = readme.empty()
                      ? QString("The documentation is the README.md of the driver's sources.")
                      : QString("The documentation is in %1.").arg(from(readme));
  QString why =
      directory.empty()
          ? QString("No help directory (help_dir) is set for the driver.")
          : QString("The help file %1/quilldrv.html could not be opened.").arg(from(directory));
  show_message(this, QMessageBox::Information, kHelpTitle, why + "\n" + where);
}

void Setup::Dsn_test() {
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  PromptRecord scratch{};
  form_to_prompt(form(), &scratch);
  std::string message;
  int outcome = call_driver_test(driver_section(driver_), &scratch, &message);
  QApplication::restoreOverrideCursor();
  if (outcome != 0) {
    show_message(this, QMessageBox::Warning, kTestTitle,
                 message.empty() ? QString("Test failed - with no information") : from(message));
  } else {
    show_message(this, QMessageBox::Information, kTestTitle, from(message));
  }
  setEnabled(true);
  raise();
  activateWindow();
}
