#pragma once
// The session properties sheet: where the session file lies and the session's own directory prefix.

#include <QDialog>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;

namespace platform {
class FilePanels;
class UserDefaults;
} // namespace platform

namespace vantle {

class MainWindowServices;

// What the sheet takes from the application, or from a test. Pointers are not owned.
struct PropertiesEnvironment {
    // The open session and its table (the main view controller).
    MainWindowServices* mainView = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::FilePanels* filePanels = nullptr;
};

// A window-modal dialog over the main window. Closing it marks the session as changed, so that it
// is saved at the next save or quit. Main thread only.
class PropertiesViewController final : public QDialog {
    Q_OBJECT

public:
    explicit PropertiesViewController(PropertiesEnvironment environment, QWidget* parent = nullptr);

    QLabel& sessionUrlLabel() const { return *sessionUrlLabel_; }
    QLineEdit& prefixTextfield() const { return *prefixTextfield_; }
    // Says why a typed prefix was not taken; hidden while there is nothing to say.
    QLabel& prefixError() const { return *prefixError_; }

    // A typed prefix must name an existing folder by its absolute path; one trailing "/" is dropped
    // (the root excepted). Nothing for a text that is not one; an empty text is returned empty.
    static std::optional<std::string> folderPrefix(const std::string& text);

    // The session's path, and its prefix: its own, else the preferences', else nothing.
    void showSessionLocation();
    // A folder chosen in a window-modal panel becomes the session's own prefix (the user defaults
    // stay as they are) and the table is reloaded; Cancel changes nothing.
    void choosePrefixPressed();
    // The text typed into the prefix field (Return, leaving the field, or closing the sheet): a
    // folder becomes the session's own prefix and the table is reloaded; an empty text leaves the
    // session without one. Any other text is kept in the field with an error beside it and changes
    // nothing. False for such a text.
    bool commitTypedPrefix();

    // Done with a typed text that is no folder keeps the sheet open; Escape (and closing the
    // window) drops such a text and closes.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Makes `prefix` the playlist's folder prefix (empty: none) and shows it; the typed and the chosen
    // prefix both end here.
    void applyPrefix(const std::string& prefix);
    void showDirectoryPrefix();

    PropertiesEnvironment environment_;
    QLabel* sessionUrlLabel_;
    QLineEdit* prefixTextfield_;
    QLabel* prefixError_;
};

} // namespace vantle
