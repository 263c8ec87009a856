// The setup library as the installer, the driver and unixODBC's tools use it:
// ConfigDSN and ConfigDriver through odbcinst's ini store, the Setup dialog
// driven on Qt's offscreen platform, the prompt record, the password edit's
// clipboard rule, Test through the driver's driver_test, and the property list.
#include <gtest/gtest.h>
#include <odbcinst.h>
#include <odbcinstext.h>
#include <sql.h>
#include <sqlext.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/prompt_record.h"

extern "C" {
int dsn_complete_info(void* connection, void* window, PromptRecord* record);
int dsn_complete_error(void* connection, int error, void* window);
}

namespace {

std::string g_dir;                               // the test's ini directory
HWND const kWindow = reinterpret_cast<HWND>(1);  // any window: the dialog is shown

// Writes the ini files once, before any odbcinst call of the process.
struct IniFiles {
  IniFiles() {
    char pattern[] = "/tmp/quill_setup_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_dir = pattern;
    std::ofstream(g_dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                           << "Driver=" << QUILL_DRIVER_PATH << "\n"
                                           << "Setup=" << QUILL_SETUP_PATH << "\n";
    std::ofstream(g_dir + "/odbc.ini") << "";
    setenv("ODBCSYSINI", g_dir.c_str(), 1);
    setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
  }
};
const IniFiles g_ini_files;

std::string ini_value(const char* dsn, const char* key) {
  char buffer[1024] = {0};
  SQLGetPrivateProfileString(dsn, key, "<absent>", buffer, sizeof buffer, "odbc.ini");
  return buffer;
}

bool dsn_exists(const char* dsn) {
  char buffer[4096] = {0};
  SQLGetPrivateProfileString(nullptr, nullptr, "", buffer, sizeof buffer, "odbc.ini");
  for (const char* p = buffer; *p; p += std::strlen(p) + 1)
    if (std::strcmp(p, dsn) == 0) return true;
  return false;
}

// The installer's first error record: its code and text.
std::pair<DWORD, std::string> installer_error() {
  DWORD code = 0;
  char text[512] = {0};
  WORD length = 0;
  SQLInstallerError(1, &code, text, sizeof text, &length);
  return {code, text};
}

// Every installer function but the error ones starts by emptying the installer's error stack.
void clear_installer_errors() {
  dsn_exists("");
}

// A list of NUL-terminated attribute entries ended by an empty one.
std::string attributes(std::initializer_list<const char*> entries) {
  std::string list;
  for (const char* entry : entries) list += std::string(entry) + '\0';
  return list + '\0';
}

// The dialog shown now (or the message box over it).
QWidget* modal() {
  return QApplication::activeModalWidget();
}

template <typename T>
T* child(const char* name) {
  QWidget* dialog = modal();
  return dialog ? dialog->findChild<T*>(name) : nullptr;
}

// Runs `work` on the dialog once it is showing (the caller then blocks in the dialog).
void when_shown(std::function<void()> work) {
  QTimer::singleShot(0, std::move(work));
}

void click(const char* button) {
  QPushButton* b = child<QPushButton>(button);
  ASSERT_NE(nullptr, b) << button;
  QTest::mouseClick(b, Qt::LeftButton);
}

// Replaces a field's text by typing, as a user would.
void type_into(const char* field, const char* text) {
  auto* edit = child<QLineEdit>(field);
  ASSERT_NE(nullptr, edit) << field;
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

}  // namespace

// Must run before any Qt application exists: without a display the library reports an
// error instead of letting Qt abort the host process.
TEST(SetupHeadless, NoDisplayGivesAnInstallerErrorNotAnAbort) {
  ASSERT_EQ(nullptr, QApplication::instance());
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(variable);
  std::string list = attributes({"DSN=headless"});
  clear_installer_errors();
  EXPECT_FALSE(ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str()));
  EXPECT_EQ(ODBC_ERROR_GENERAL_ERR, installer_error().first);
  PromptRecord record{};
  EXPECT_NE(0, dsn_complete_info(nullptr, nullptr, &record));
  EXPECT_FALSE(dsn_exists("headless"));
}

class Setup : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "setup_test";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    }
  }
};

TEST_F(Setup, ConfigDriverAnswersInstallAndRemoveAndRefusesOtherRequests) {
  struct Case {
    WORD request;
    WORD buffer_size;
    BOOL result;
    const char* message;
  };
  const std::string full = "Bye Bye from the Quillmoor Ethereum ODBC Driver";
  const Case cases[] = {
      {ODBC_INSTALL_DRIVER, 200, 1, full.c_str()},
      {ODBC_REMOVE_DRIVER, 200, 1, full.c_str()},
      {ODBC_INSTALL_DRIVER, 8, 1, "Bye Bye"},  // cut to the buffer less one byte
      {ODBC_INSTALL_DRIVER, 1, 1, ""},
      {3, 200, 0, ""},
  };
  for (const Case& c : cases) {
    char buffer[200];
    std::memset(buffer, 'x', sizeof buffer);
    WORD length = 0;
    clear_installer_errors();
    BOOL result = ConfigDriver(nullptr, c.request, "Quillmoor Ethereum ODBC Driver", nullptr,
                               buffer, c.buffer_size, &length);
    EXPECT_EQ(c.result, result) << c.request;
    if (!c.result) {
      EXPECT_EQ(std::make_pair(DWORD{ODBC_ERROR_INVALID_REQUEST_TYPE},
                               std::string("Invalid type of request")),
                installer_error());
      continue;
    }
    EXPECT_STREQ(c.message, buffer);
    EXPECT_EQ(full.size(), length);
  }
}

TEST_F(Setup, ConfigDsnRefusesBadRequestsAndAttributeLists) {
  struct Case {
    WORD request;
    const char* list;  // null: no list
    size_t size;
    DWORD code;
    const char* message;
  };
  std::string semicolon_only = attributes({"DSN=;"});
  const Case cases[] = {
      {7, "\0", 2, ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request"},
      {ODBC_CONFIG_DSN, nullptr, 0, 7, "Invalid lpszAttributes"},
      {ODBC_REMOVE_DSN, "\0", 2, 7, "Invalid lpszAttributes"},
      {ODBC_REMOVE_DSN, semicolon_only.data(), semicolon_only.size(), 7,
       "Invalid DSN specified to ODBC_REMOVE_DSN"},
  };
  for (const Case& c : cases) {
    clear_installer_errors();
    EXPECT_FALSE(ConfigDSN(nullptr, c.request, "Quillmoor Ethereum ODBC Driver", c.list))
        << c.message;
    EXPECT_EQ(std::make_pair(c.code, std::string(c.message)), installer_error());
  }
}

TEST_F(Setup, WithoutAWindowTheAttributesAddConfigureAndRemoveTheDsn) {
  std::string add = attributes({"DSN=quiet", "Description=Quiet node", "URI=http://127.0.0.1:1",
                                "Proxy=proxy:3128", "Proxy_User=u", "Logging=Yes"});
  ASSERT_TRUE(ConfigDSN(nullptr, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", add.c_str()));
  EXPECT_EQ("Quillmoor Ethereum ODBC Driver", ini_value("quiet", "Driver"));
  EXPECT_EQ("Quiet node", ini_value("quiet", "Description"));
  EXPECT_EQ("proxy:3128", ini_value("quiet", "Proxy"));
  EXPECT_EQ("Yes", ini_value("quiet", "Logging"));
  // An emptied proxy is written empty, not left at its old value; other values stay.
  std::string configure = attributes({"DSN=quiet", "Proxy="});
  ASSERT_TRUE(
      ConfigDSN(nullptr, ODBC_CONFIG_DSN, "Quillmoor Ethereum ODBC Driver", configure.c_str()));
  EXPECT_EQ("", ini_value("quiet", "Proxy"));
  EXPECT_EQ("u", ini_value("quiet", "Proxy_User"));
  EXPECT_EQ("http://127.0.0.1:1", ini_value("quiet", "URI"));
  // A trailing semicolon is not part of the name.
  std::string remove = attributes({"DSN=quiet;"});
  ASSERT_TRUE(
      ConfigDSN(nullptr, ODBC_REMOVE_DSN, "Quillmoor Ethereum ODBC Driver", remove.c_str()));
  EXPECT_FALSE(dsn_exists("quiet"));
}

TEST_F(Setup, DialogShowsEveryFieldWithItsLabelAndToolTip) {
  struct Field {
    const char* name;
    const char* label;
    const char* tip;
  };
  const Field fields[] = {
      {"dsn", "&DSN:", "Data source name"},
      {"description", "D&escription:", "Data source description"},
      {"uri", "&URI:", "URI"},
      {"api_key", "&Api Key:", "Api Key"},
      {"proxy", "Proxy:", "Address of proxy server"},
      {"proxy_user", "Proxy User:", "User Name for proxy server auth"},
      {"proxy_pass", "Proxy Password:", "User Password for proxy server auth"},
      {"log_file", "Log File:", "Log File"},
  };
  std::string list = attributes({"DSN=shown"});
  when_shown([&] {
    QWidget* dialog = modal();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("DSN Properties", dialog->objectName());
    EXPECT_EQ("Quillmoor Ethereum ODBC Driver DSN Setup", dialog->windowTitle());
    for (const Field& f : fields) {
      auto* edit = child<QLineEdit>(f.name);
      ASSERT_NE(nullptr, edit) << f.name;
      EXPECT_EQ(f.tip, edit->toolTip()) << f.name;
      bool labelled = false;
      for (QLabel* label : dialog->findChildren<QLabel*>())
        labelled |= label->buddy() == edit && label->text() == f.label;
      EXPECT_TRUE(labelled) << f.name;
    }
    EXPECT_EQ(QLineEdit::Password, child<QLineEdit>("proxy_pass")->echoMode());
    EXPECT_EQ("enable", child<QCheckBox>("logging")->text());
    EXPECT_EQ("Driver Logging", child<QCheckBox>("logging")->toolTip());
    const std::pair<const char*, const char*> buttons[] = {
        {"ok", "Save changes and finish"},
        {"cancel", "Exit without saving changes"},
        {"test", "Test connection"}};
    for (const auto& [name, tip] : buttons) EXPECT_EQ(tip, child<QPushButton>(name)->toolTip());
    EXPECT_EQ("&Cancel", child<QPushButton>("cancel")->text());
    EXPECT_EQ("&Help", child<QPushButton>("help")->text());
    EXPECT_EQ("&Test", child<QPushButton>("test")->text());
    click("cancel");
  });
  EXPECT_TRUE(ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str()));
  EXPECT_FALSE(dsn_exists("shown"));  // cancelled: nothing written
}

TEST_F(Setup, DialogOkWritesEveryValueAndConfigureReadsThemBack) {
  std::string add = attributes({"DSN=dialog", "URI=http://node:8545", "Proxy=proxy:3128",
                                "LogFile=/tmp/quill.log", "LogFlag=yes"});
  when_shown([] {
    type_into("description", "From the dialog");
    type_into("api_key", "key-1");
    type_into("proxy_pass", "secret");
    click("ok");
  });
  ASSERT_TRUE(ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", add.c_str()));
  const std::pair<const char*, const char*> written[] = {{"Description", "From the dialog"},
                                                         {"URI", "http://node:8545"},
                                                         {"API_KEY", "key-1"},
                                                         {"Proxy", "proxy:3128"},
                                                         {"Proxy_User", ""},
                                                         {"Proxy_Pass", "secret"},
                                                         {"Logging", "Yes"},
                                                         {"LogFile", "/tmp/quill.log"}};
  for (const auto& [key, value] : written) EXPECT_EQ(value, ini_value("dialog", key)) << key;

  // Configure: the stored values fill the form; emptying the proxy and renaming the DSN.
  std::string configure = attributes({"DSN=dialog"});
  when_shown([] {
    EXPECT_EQ("http://node:8545", child<QLineEdit>("uri")->text());
    EXPECT_EQ("secret", child<QLineEdit>("proxy_pass")->text());
    EXPECT_TRUE(child<QCheckBox>("logging")->isChecked());
    type_into("proxy", "");
    type_into("dsn", "renamed");
    click("ok");
  });
  ASSERT_TRUE(
      ConfigDSN(kWindow, ODBC_CONFIG_DSN, "Quillmoor Ethereum ODBC Driver", configure.c_str()));
  EXPECT_FALSE(dsn_exists("dialog"));
  EXPECT_EQ("", ini_value("renamed", "Proxy"));
  EXPECT_EQ("key-1", ini_value("renamed", "API_KEY"));
}

TEST_F(Setup, PromptFillsTheFormAndReturnsTheValuesWithLoggingFlag31) {
  PromptRecord record{};
  std::strcpy(record.dsn, "prompted");
  std::strcpy(record.uri, "http://127.0.0.1:8545");
  std::strcpy(record.proxy, "proxy:1");
  when_shown([] {
    EXPECT_EQ("Quillmoor Ethereum ODBC Driver", modal()->windowTitle());
    EXPECT_EQ("prompted", child<QLineEdit>("dsn")->text());
    EXPECT_EQ("proxy:1", child<QLineEdit>("proxy")->text());
    EXPECT_FALSE(child<QCheckBox>("logging")->isChecked());
    type_into("api_key", "abc");
    QTest::keyClick(child<QCheckBox>("logging"), Qt::Key_Space);
    click("ok");
  });
  EXPECT_EQ(0, dsn_complete_info(nullptr, nullptr, &record));
  EXPECT_EQ(31, record.logging);
  EXPECT_STREQ("abc", record.api_key);
  EXPECT_STREQ("http://127.0.0.1:8545", record.uri);
  EXPECT_FALSE(dsn_exists("prompted"));  // the prompt never writes the store

  when_shown([] { click("cancel"); });
  EXPECT_NE(0, dsn_complete_info(nullptr, nullptr, &record));
  when_shown([] {
    EXPECT_TRUE(child<QLabel>("message")->isVisibleTo(modal()));
    click("cancel");
  });
  dsn_complete_error(nullptr, 111, nullptr);
}

TEST_F(Setup, PasswordEditKeepsTheClipboardWhileNormalEditCutsToIt) {
  std::string list = attributes({"DSN=clip", "Proxy_Pass=secret", "Proxy=visible"});
  when_shown([] {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText("before");
    auto* password = child<QLineEdit>("proxy_pass");
    password->selectAll();
    QTest::keyClick(password, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(password, Qt::Key_X, Qt::ControlModifier);
    QMetaObject::invokeMethod(password, "copy");
    QMetaObject::invokeMethod(password, "cut");
    EXPECT_EQ("before", clipboard->text());
    EXPECT_EQ("secret", password->text());
    auto* description = child<QLineEdit>("description");
    type_into("description", "plain text");
    description->selectAll();
    QTest::keyClick(description, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ("plain text", clipboard->text());
    clipboard->setText("before");
    QTest::keyClick(description, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ("plain text", clipboard->text());
    EXPECT_EQ("", description->text());
    click("cancel");
  });
  ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str());
}

TEST_F(Setup, TestButtonShowsTheDriversVerdict) {
  struct Case {
    const char* uri;
    QMessageBox::Icon icon;
  };
  // Nothing listens on port 1: Test reaches for the node and reports it unreachable. (The
  // Xvfb suite tests against a live node.)
  const Case cases[] = {{"http://127.0.0.1:1", QMessageBox::Warning},
                        {"ftp://nowhere", QMessageBox::Warning}};
  for (const Case& c : cases) {
    std::string list = attributes({"DSN=tested", (std::string("URI=") + c.uri).c_str()});
    QString title;
    QString text;
    int icon = -1;
    when_shown([&] {
      // The box opens inside the click; it is read and closed from the event loop it runs.
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(modal());
        ASSERT_NE(nullptr, box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->accept();
      });
      click("test");
      EXPECT_TRUE(modal()->isEnabled());
      click("cancel");
    });
    ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str());
    EXPECT_EQ("Ethereum ODBC Driver Test", title) << c.uri;
    EXPECT_EQ(c.icon, icon) << c.uri;
    EXPECT_FALSE(text.isEmpty()) << c.uri;
  }
}

TEST_F(Setup, ApiKeyIsMaskedUntilShownAndHelpSaysWhereTheDocumentationIs) {
  std::string list = attributes({"DSN=masked", "API_KEY=secret"});
  QLineEdit::EchoMode masked = QLineEdit::Normal;
  QLineEdit::EchoMode shown = QLineEdit::Password;
  QString help;
  when_shown([&] {
    masked = child<QLineEdit>("api_key")->echoMode();
    QTest::mouseClick(child<QCheckBox>("show_api_key"), Qt::LeftButton);
    shown = child<QLineEdit>("api_key")->echoMode();
    // No help_dir is set: Help answers with a box instead of doing nothing.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(modal());
      ASSERT_NE(nullptr, box);
      help = box->text();
      box->accept();
    });
    click("help");
    click("cancel");
  });
  ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str());
  EXPECT_EQ(QLineEdit::Password, masked);
  EXPECT_EQ(QLineEdit::Normal, shown);
  EXPECT_TRUE(help.contains("help_dir")) << help.toStdString();
  EXPECT_TRUE(help.contains("README.md")) << help.toStdString();
}

TEST_F(Setup, UnixOdbcListsTheDriversPropertiesThroughTheSetupLibrary) {
  HODBCINSTPROPERTY first = nullptr;
  char driver[] = "Quillmoor Ethereum ODBC Driver";
  ASSERT_EQ(ODBCINST_SUCCESS, ODBCINSTConstructProperties(driver, &first));
  std::vector<std::string> names;
  for (HODBCINSTPROPERTY p = first; p; p = p->pNext) names.push_back(p->szName);
  for (const char* wanted :
       {"URI", "API_KEY", "Proxy", "Proxy_User", "Proxy_Pass", "Logging", "Logfile"})
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), wanted)) << wanted;
  ODBCINSTDestructProperties(&first);
}

TEST_F(Setup, DriverPromptsThroughTheSetupLibraryWhenTheUriIsMissing) {
  SQLHENV env;
  SQLHDBC dbc;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
  struct Case {
    const char* button;
    SQLRETURN result;
  };
  // Cancelled, the attempt goes on with what it has and fails on the missing URI.
  for (const Case& c : {Case{"ok", SQL_SUCCESS}, Case{"cancel", SQL_ERROR}}) {
    when_shown([&] {
      ASSERT_NE(nullptr, child<QLineEdit>("uri"));
      type_into("uri", "http://127.0.0.1:8545");
      child<QCheckBox>("logging")->setChecked(false);
      click(c.button);
    });
    SQLCHAR out[1024] = {0};
    SQLSMALLINT length = 0;
    // No node listens: the connection is made without the probe call.
    const char* in = "DRIVER={Quillmoor Ethereum ODBC Driver};connect_probe=no;";
    SQLRETURN rc = SQLDriverConnect(dbc, kWindow, (SQLCHAR*)in, SQL_NTS, out, sizeof out, &length,
                                    SQL_DRIVER_COMPLETE);
    EXPECT_EQ(c.result, rc) << c.button;
    if (rc == SQL_SUCCESS) {
      EXPECT_NE(nullptr, std::strstr(reinterpret_cast<char*>(out), "URI=http://127.0.0.1:8545"))
          << out;
      SQLDisconnect(dbc);
    }
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(Setup, PromptCompletionShowsTheDialogOnceEvenWithCompleteDetails) {
  SQLHENV env;
  SQLHDBC dbc;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
  int shown = 0;
  std::function<void()> accept = [&] {
    if (!modal()) return;
    ++shown;
    click("ok");
  };
  when_shown(accept);
  const char* complete =
      "DRIVER={Quillmoor Ethereum ODBC Driver};URI=http://127.0.0.1:8545;API_KEY=k;"
      "connect_probe=no;";
  SQLCHAR out[1024] = {0};
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLDriverConnect(dbc, kWindow, (SQLCHAR*)complete, SQL_NTS, out,
                                          sizeof out, &length, SQL_DRIVER_PROMPT));
  EXPECT_EQ(1, shown);
  SQLDisconnect(dbc);

  // Without prompting, missing details are reported, and no dialog appears.
  shown = 0;
  when_shown(accept);
  const char* incomplete = "DRIVER={Quillmoor Ethereum ODBC Driver};";
  SQLDriverConnect(dbc, kWindow, (SQLCHAR*)incomplete, SQL_NTS, out, sizeof out, &length,
                   SQL_DRIVER_NOPROMPT);
  QApplication::processEvents();
  EXPECT_EQ(0, shown);
  bool reported = false;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6], message[512];
    SQLINTEGER native;
    SQLSMALLINT size;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(SQL_HANDLE_DBC, dbc, i, state, &native, message, sizeof message, &size)))
      break;
    reported |= std::strstr(reinterpret_cast<char*>(message),
                            "not all connection details supplied") != nullptr;
  }
  EXPECT_TRUE(reported);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(Setup, SqlConfigDataSourceAddsChangesAndRemovesThroughTheSetupEntry) {
  std::string add = attributes({"DSN=configured", "URI=http://127.0.0.1:8545", "Proxy=p:1"});
  ASSERT_TRUE(
      SQLConfigDataSource(nullptr, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", add.c_str()));
  EXPECT_EQ("http://127.0.0.1:8545", ini_value("configured", "URI"));
  std::string change = attributes({"DSN=configured", "Proxy="});
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_CONFIG_DSN, "Quillmoor Ethereum ODBC Driver",
                                  change.c_str()));
  EXPECT_EQ("", ini_value("configured", "Proxy"));
  EXPECT_EQ("http://127.0.0.1:8545", ini_value("configured", "URI"));
  std::string remove = attributes({"DSN=configured;"});
  ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_DSN, "Quillmoor Ethereum ODBC Driver",
                                  remove.c_str()));
  EXPECT_FALSE(dsn_exists("configured"));
}

TEST_F(Setup, OdbcinstInstallsQueriesAndRemovesADsn) {
  std::string tmpl = g_dir + "/template.ini";
  std::ofstream(tmpl) << "[from_odbcinst]\nDriver=Quillmoor Ethereum ODBC Driver\n"
                      << "URI=http://127.0.0.1:8545\n";
  auto run = [](const std::string& command) { return std::system(command.c_str()); };
  ASSERT_EQ(0, run("odbcinst -i -s -h -f " + tmpl + " >/dev/null"));
  EXPECT_TRUE(dsn_exists("from_odbcinst"));
  EXPECT_EQ("http://127.0.0.1:8545", ini_value("from_odbcinst", "URI"));
  EXPECT_EQ(0, run("odbcinst -q -s -h -n from_odbcinst | grep -q '^URI=http://127.0.0.1:8545'"));
  ASSERT_EQ(0, run("odbcinst -u -s -h -n from_odbcinst >/dev/null"));
  EXPECT_FALSE(dsn_exists("from_odbcinst"));
}

// With QUILL_SETUP_SCREENSHOT naming a PNG file, the dialog is rendered into it (the picture
// in docs/ comes from here).
TEST_F(Setup, DialogRendersOffscreen) {
  std::string list = attributes({"DSN=quill_demo", "Description=Local Ethereum node",
                                 "URI=http://127.0.0.1:8545", "Proxy_Pass=secret"});
  QSize size;
  when_shown([&] {
    QWidget* dialog = modal();
    dialog->adjustSize();
    QPixmap picture = dialog->grab();
    size = picture.size();
    if (const char* path = std::getenv("QUILL_SETUP_SCREENSHOT")) picture.save(path, "PNG");
    click("cancel");
  });
  ConfigDSN(kWindow, ODBC_ADD_DSN, "Quillmoor Ethereum ODBC Driver", list.c_str());
  EXPECT_GT(size.width(), 200);
  EXPECT_GT(size.height(), 200);
}
